// The four geometric layers a scene can switch on, drawn in this order by the frame driver.
// Main thread. param is the scene's effect byte; ms the show time that drives the motion.
#pragma once

#include <cstdint>

void draw_text_ring(int32_t ms, uint8_t param);    // texture and blending as left set up
void draw_ring_sphere(int32_t ms, uint8_t param);  // flat colour from here on
void draw_spirals(int32_t ms);
void draw_fan(int32_t ms, uint8_t param);
