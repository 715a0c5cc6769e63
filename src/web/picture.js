// The show's picture: the WebGL context of the page's canvas and its loss (a GPU reset, a phone
// that takes the memory back). A lost context is let come back; then the show's GL objects are
// made again and the show draws on, its sound never stopped. Main thread.
//
// Usage: const gl = openPicture(canvas, {keepDrawing, onRestored}); // null: no WebGL
//   picture.lost: true between webglcontextlost and webglcontextrestored
//   resizePicture(0.5);  // the drawing buffer at half the show's 640 x 480 (the page shows
//                        // it at the same size); the show's copies follow (show_engine.js)

export const picture = {gl: null, canvas: null, lost: false, losses: 0, scale: 1};
const showWidth = 640;
const showHeight = 480;

export function openPicture(canvas, {keepDrawing = false, onRestored = () => {}} = {}) {
  const attributes = {alpha: false, antialias: false, depth: false, stencil: false,
                      premultipliedAlpha: false, preserveDrawingBuffer: keepDrawing};
  let gl = null;
  try {
    gl = canvas.getContext('webgl', attributes);
  } catch (e) {}
  if (!gl) return null;
  canvas.addEventListener('webglcontextlost', (event) => {
    event.preventDefault();  // without this the context never comes back
    picture.lost = true;
    picture.losses += 1;
  });
  canvas.addEventListener('webglcontextrestored', () => {
    picture.lost = false;
    onRestored();
  });
  picture.gl = gl;
  picture.canvas = canvas;
  return gl;
}

// A new size empties the drawing buffer and leaves the viewport as it was: the next frame is
// drawn whole at the new size.
export function resizePicture(scale) {
  if (!picture.gl || scale === picture.scale) return;
  picture.scale = scale;
  picture.canvas.width = Math.round(showWidth * scale);
  picture.canvas.height = Math.round(showHeight * scale);
  picture.gl.viewport(0, 0, picture.canvas.width, picture.canvas.height);
}
