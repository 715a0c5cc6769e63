// The feedback passes that end every drawn frame, and the one textured polygon that they, the
// text ring and the fan draw with. Main thread.
#pragma once

// Textured polygon (a, b), (-a, b), (-a, c), (d, c) at depth z, showing the screen-sized part
// of the bound texture.
void draw_screen_quad(float a, float b, float c, float d, float z);

// Blends the previous frame, shrunk and tinted by brightness, into the new one and keeps the
// result in the feedback texture.
void fade_pass(float brightness);

// Adds twenty copies of the picture, each moved zoom_step further along z.
void glow_pass(float strength, float zoom_step);
