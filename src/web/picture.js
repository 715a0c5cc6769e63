// The show's picture: the WebGL context of the page's canvas and its loss (a GPU reset, a phone
// that takes the memory back). A lost context is let come back; then the show's GL objects are
// made again and the show draws on, its sound never stopped. Main thread.
//
// Usage: const gl = openPicture(canvas, {keepDrawing, onRestored}); // null: no WebGL
//   picture.lost: true between webglcontextlost and webglcontextrestored

export const picture = {gl: null, lost: false, losses: 0};

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
  return gl;
}
