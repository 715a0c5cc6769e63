// The fixed-function OpenGL 1.1 calls of the show's visuals, worked out on the processor for a
// WebGL 1 page: matrices, immediate-mode polygons (as triangle fans) and wide line strips (as
// quads), colours, texture modulate and blending. The visuals call the usual gl* functions;
// this header adds what the page needs around them. Main thread.
#pragma once

#include <cstdint>

// Draws what is still gathered; the page calls it after each main-loop pass.
void gl_layer_flush();

// Back to OpenGL's initial state (identity matrices, white, no blending, line width 1), as a
// new context would be: for a show played again.
void gl_layer_reset();
