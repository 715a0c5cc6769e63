// Included first in every source of the party build: tells the compiler that these library
// calls only read, so that a result nobody uses (a message's argument, which the party build
// leaves unprinted) costs no call and no import.
#pragma once

extern "C" {
char* SDL_GetError(void) __attribute__((pure));
char* getenv(const char* name) noexcept __attribute__((pure));
}
