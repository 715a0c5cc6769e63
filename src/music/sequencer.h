// The row tick: moves every channel of the walk one row on through its track and patterns and
// applies the events it meets. Audio thread, called by the mixer at every multiple of a row.
#pragma once

#include <cstdint>

// Last channel of the walk: channels 1 ... the one before the first empty track above track 1,
// never past track 29; 0 when track 1 is empty.
int32_t walk_end();

// One row for channels 1 ... last_channel.
void row_tick(int32_t last_channel);

// One row for channel k alone, as row_tick moves it (tools only; the hook is not called).
void row_tick_channel(int32_t k);

// Called at the end of every row tick when set (tools only: traces, displays), on the thread
// that mixes; it may read the channel state and the tables but must not change them.
using RowTickHook = void (*)(int32_t last_channel);
extern RowTickHook row_tick_hook;
