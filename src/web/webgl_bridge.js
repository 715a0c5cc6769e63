// The WebGL 1 end of the show's OpenGL layer (gl_layer.cpp): one small shader draws the
// triangles it hands over, texels times colour or colour alone, and the show's three textures
// live here by their OpenGL names. The page puts its context in Module['gl'] before start-up;
// after a lost context is restored, everything made in it is made again on first use.
// Module['pictureScale'] (1 unless the page set it) is the drawing buffer's size against the
// show's 640 x 480: copies of the picture are scaled by it, and a texture the picture is copied
// into holds it at that scale (made anew when the scale changed), so that the texture
// coordinates the show uses still frame the picture.
mergeInto(LibraryManager.library, {
  $webglShow: {
    gl: null,
    textures: {},
    sizes: {},       // a texture's size as the show made it, [width, height]
    heldScales: {},  // the picture scale a copy target was last made at
    buffer: null,
    usesTexture: null,
    blend: 'unset',

    context: function() {
      if (webglShow.gl) return webglShow.gl;
      var gl = Module['gl'];
      var vertexSource =
        'attribute vec4 position; attribute vec3 colour; attribute vec2 texcoord;' +
        'varying vec3 v_colour; varying vec2 v_texcoord;' +
        'void main() { gl_Position = position; v_colour = colour; v_texcoord = texcoord; }';
      var fragmentSource =
        '#ifdef GL_FRAGMENT_PRECISION_HIGH\nprecision highp float;\n#else\nprecision mediump float;\n#endif\n' +
        'uniform sampler2D picture; uniform bool textured;' +
        'varying vec3 v_colour; varying vec2 v_texcoord;' +
        'void main() { vec4 c = vec4(v_colour, 1.0);' +
        ' if (textured) c *= texture2D(picture, v_texcoord); gl_FragColor = c; }';
      var program = gl.createProgram();
      [[gl.VERTEX_SHADER, vertexSource], [gl.FRAGMENT_SHADER, fragmentSource]].forEach(function(s) {
        var shader = gl.createShader(s[0]);
        gl.shaderSource(shader, s[1]);
        gl.compileShader(shader);
        gl.attachShader(program, shader);
      });
      gl.bindAttribLocation(program, 0, 'position');
      gl.bindAttribLocation(program, 1, 'colour');
      gl.bindAttribLocation(program, 2, 'texcoord');
      gl.linkProgram(program);
      gl.useProgram(program);
      webglShow.usesTexture = gl.getUniformLocation(program, 'textured');
      webglShow.buffer = gl.createBuffer();
      gl.bindBuffer(gl.ARRAY_BUFFER, webglShow.buffer);
      var stride = 9 * 4;
      gl.enableVertexAttribArray(0);
      gl.enableVertexAttribArray(1);
      gl.enableVertexAttribArray(2);
      gl.vertexAttribPointer(0, 4, gl.FLOAT, false, stride, 0);
      gl.vertexAttribPointer(1, 3, gl.FLOAT, false, stride, 16);
      gl.vertexAttribPointer(2, 2, gl.FLOAT, false, stride, 28);
      gl.pixelStorei(gl.UNPACK_ALIGNMENT, 1);
      gl.clearColor(0, 0, 0, 1);
      webglShow.gl = gl;
      return gl;
    },

    // OpenGL creates a texture when a new name is first bound.
    bind: function(name) {
      var gl = webglShow.context();
      if (!webglShow.textures[name]) webglShow.textures[name] = gl.createTexture();
      gl.bindTexture(gl.TEXTURE_2D, webglShow.textures[name]);
      return gl;
    },
  },

  webgl_draw_triangles__deps: ['$webglShow'],
  webgl_draw_triangles: function(vertices, count, texture, source, destination) {
    var gl = webglShow.context();
    if (texture) webglShow.bind(texture);
    gl.uniform1i(webglShow.usesTexture, texture ? 1 : 0);
    var blend = source < 0 ? 'off' : source + ',' + destination;
    if (blend !== webglShow.blend) {
      if (source < 0) {
        gl.disable(gl.BLEND);
      } else {
        gl.enable(gl.BLEND);
        gl.blendFunc(source, destination);
      }
      webglShow.blend = blend;
    }
    gl.bufferData(gl.ARRAY_BUFFER, HEAPF32.subarray(vertices >> 2, (vertices >> 2) + count * 9),
                  gl.STREAM_DRAW);
    gl.drawArrays(gl.TRIANGLES, 0, count);
  },

  webgl_forget_context__deps: ['$webglShow'],
  webgl_forget_context: function() {
    webglShow.gl = null;
    webglShow.textures = {};
    webglShow.sizes = {};
    webglShow.heldScales = {};
    webglShow.blend = 'unset';
  },

  webgl_clear__deps: ['$webglShow'],
  webgl_clear: function() {
    var gl = webglShow.context();
    gl.clear(gl.COLOR_BUFFER_BIT);
  },

  webgl_texture_image__deps: ['$webglShow'],
  webgl_texture_image: function(texture, width, height, rgb) {
    var gl = webglShow.bind(texture);
    var texels = rgb ? HEAPU8.subarray(rgb, rgb + width * height * 3) : null;
    webglShow.sizes[texture] = [width, height];
    webglShow.heldScales[texture] = 1;
    gl.texImage2D(gl.TEXTURE_2D, 0, gl.RGB, width, height, 0, gl.RGB, gl.UNSIGNED_BYTE, texels);
  },

  webgl_texture_parameter__deps: ['$webglShow'],
  webgl_texture_parameter: function(texture, name, value) {
    var gl = webglShow.bind(texture);
    gl.texParameteri(gl.TEXTURE_2D, name, value);
  },

  webgl_copy_to_texture__deps: ['$webglShow'],
  webgl_copy_to_texture: function(texture, xOffset, yOffset, x, y, width, height) {
    var gl = webglShow.bind(texture);
    var scale = Module['pictureScale'] || 1;
    var size = webglShow.sizes[texture];
    if (size && webglShow.heldScales[texture] !== scale) {
      gl.texImage2D(gl.TEXTURE_2D, 0, gl.RGB, Math.round(size[0] * scale), Math.round(size[1] * scale), 0,
                    gl.RGB, gl.UNSIGNED_BYTE, null);
      webglShow.heldScales[texture] = scale;
    }
    var scaled = function(value) { return Math.round(value * scale); };
    gl.copyTexSubImage2D(gl.TEXTURE_2D, 0, scaled(xOffset), scaled(yOffset), scaled(x), scaled(y),
                         scaled(width), scaled(height));
  },
});
