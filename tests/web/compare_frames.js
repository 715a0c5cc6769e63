// Page-side helpers of the frame test, evaluated in the page: the picture read back from the
// WebGL canvas and a captured PNG compared as mean absolute difference of their RGB values.
'use strict';

// Defines window.compareWithCapture(url) -> Promise of the mean absolute difference between the
// canvas as drawn now and the PNG at url, and window.canvasPng() -> data URL of the canvas.
const pageHelpers = `
// At 640 x 480, top row first, whatever the picture's resolution (a lower one is widened).
window.readPicture = function() {
  const rgba = kelvorinsaa.readPixels();  // bottom row first
  const width = Math.round(Math.sqrt(rgba.length / 4 * 4 / 3));
  const height = rgba.length / 4 / width;
  const top = new Uint8ClampedArray(640 * 480 * 4);
  for (let row = 0; row < 480; ++row) {
    const from = (height - 1 - Math.floor(row * height / 480)) * width;
    for (let column = 0; column < 640; ++column) {
      const at = (from + Math.floor(column * width / 640)) * 4;
      top.set(rgba.subarray(at, at + 4), (row * 640 + column) * 4);
    }
  }
  return top;
};
window.loadCapture = async function(url) {
  const image = new Image();
  image.src = url;
  await image.decode();
  const canvas = document.createElement('canvas');
  canvas.width = 640;
  canvas.height = 480;
  const context = canvas.getContext('2d', {willReadFrequently: true});
  context.drawImage(image, 0, 0);
  return context.getImageData(0, 0, 640, 480).data;
};
window.meanDifference = function(a, b) {
  let sum = 0;
  for (let i = 0; i < a.length; i += 4) {
    sum += Math.abs(a[i] - b[i]) + Math.abs(a[i + 1] - b[i + 1]) + Math.abs(a[i + 2] - b[i + 2]);
  }
  return sum / (640 * 480 * 3);
};
window.picturePng = function(rgba) {
  const canvas = document.createElement('canvas');
  canvas.width = 640;
  canvas.height = 480;
  canvas.getContext('2d').putImageData(new ImageData(rgba, 640, 480), 0, 0);
  return canvas.toDataURL('image/png');
};
`;

module.exports = {pageHelpers};
