// The OpenGL 1.1 subset the visuals call, over WebGL 1. Vertices are transformed here into clip
// space; polygons become triangle fans and wide line strips become one quad per segment, made
// in window coordinates as a software OpenGL makes them. Triangles with the same texture and
// blend state are gathered and handed to the page in one draw. Main thread.
#include "web/gl_layer.h"

#include <GL/gl.h>

#include <array>
#include <cmath>

#include "shared/show_constants.h"
#include "web/gl_backend.h"
#include "web/gl_matrix.h"

namespace {

constexpr int max_primitive_vertices = 128;  // the longest strip the visuals draw is 100
constexpr int max_batch_vertices = 6 * 1024;

struct Vertex {
  Vec4 clip;
  float r, g, b;
  float s, t;
};

struct DrawState {
  uint32_t texture = 0;  // 0: untextured
  int32_t blend_source = gl_blend_off;
  int32_t blend_destination = GL_ZERO;
  bool operator==(const DrawState&) const = default;
};

struct Layer {
  Matrix projection = identity_matrix();
  Matrix modelview = identity_matrix();
  Matrix* current = &modelview;
  Matrix to_clip = identity_matrix();  // projection x modelview, taken at glBegin
  float colour[3] = {1, 1, 1};
  float texcoord[2] = {0, 0};
  float line_width = 1;
  uint32_t bound_texture = 0;
  bool texturing = false;
  bool blending = false;
  int32_t blend_source = GL_ONE;
  int32_t blend_destination = GL_ZERO;
  GLenum primitive = 0;
  std::array<Vertex, max_primitive_vertices> vertices;
  int vertex_count = 0;
  DrawState batch_state;
  std::array<float, max_batch_vertices * gl_vertex_floats> batch;
  int batch_vertices = 0;
};

Layer layer;

float clamp_unit(float value) {
  return value < 0 ? 0 : value > 1 ? 1 : value;
}

DrawState state_now() {
  DrawState state;
  if (layer.texturing) state.texture = layer.bound_texture;
  if (layer.blending) {
    state.blend_source = layer.blend_source;
    state.blend_destination = layer.blend_destination;
  }
  return state;
}

void flush_batch() {
  if (layer.batch_vertices == 0) return;
  const DrawState& state = layer.batch_state;
  webgl_draw_triangles(layer.batch.data(), layer.batch_vertices, state.texture, state.blend_source,
                       state.blend_destination);
  layer.batch_vertices = 0;
}

// Room for `count` more vertices drawn with today's state.
void make_room(int count) {
  const DrawState state = state_now();
  if (!(state == layer.batch_state) || layer.batch_vertices + count > max_batch_vertices) {
    flush_batch();
    layer.batch_state = state;
  }
}

void emit(const Vertex& v) {
  float* out = &layer.batch[layer.batch_vertices * gl_vertex_floats];
  const float values[gl_vertex_floats] = {v.clip.x, v.clip.y, v.clip.z, v.clip.w, v.r,
                                          v.g,      v.b,      v.s,      v.t};
  for (int i = 0; i < gl_vertex_floats; ++i) out[i] = values[i];
  ++layer.batch_vertices;
}

void emit_polygon() {
  const int n = layer.vertex_count;
  if (n < 3) return;
  make_room(3 * (n - 2));
  for (int i = 1; i + 1 < n; ++i) {
    emit(layer.vertices[0]);
    emit(layer.vertices[i]);
    emit(layer.vertices[i + 1]);
  }
}

// A point on the way from a to b, everything interpolated.
Vertex between(const Vertex& a, const Vertex& b, float f) {
  Vertex v = a;
  v.clip = {a.clip.x + f * (b.clip.x - a.clip.x), a.clip.y + f * (b.clip.y - a.clip.y),
            a.clip.z + f * (b.clip.z - a.clip.z), a.clip.w + f * (b.clip.w - a.clip.w)};
  v.r = a.r + f * (b.r - a.r);
  v.g = a.g + f * (b.g - a.g);
  v.b = a.b + f * (b.b - a.b);
  v.s = a.s + f * (b.s - a.s);
  v.t = a.t + f * (b.t - a.t);
  return v;
}

// Keeps the part of the segment in front of the near plane (z >= -w); false if none is.
bool clip_to_near_plane(Vertex& a, Vertex& b) {
  const float da = a.clip.z + a.clip.w;
  const float db = b.clip.z + b.clip.w;
  if (da < 0 && db < 0) return false;
  if (da < 0) a = between(a, b, da / (da - db));
  if (db < 0) b = between(b, a, db / (db - da));
  return true;
}

struct WindowPoint {
  float x, y;
};

WindowPoint to_window(const Vec4& clip) {
  return {(clip.x / clip.w + 1) * 0.5f * picture_width,
          (clip.y / clip.w + 1) * 0.5f * picture_height};
}

Vertex at_window(const Vertex& from, WindowPoint p) {
  Vertex v = from;
  v.clip = {p.x / (0.5f * picture_width) - 1, p.y / (0.5f * picture_height) - 1, 0, 1};
  return v;
}

// A wide line is a parallelogram: a line running more across than up is widened up and down,
// any other sideways, as OpenGL rasterizes lines that are not antialiased.
void emit_wide_segment(Vertex a, Vertex b) {
  if (!clip_to_near_plane(a, b)) return;
  const WindowPoint pa = to_window(a.clip);
  const WindowPoint pb = to_window(b.clip);
  const float half = 0.5f * layer.line_width;
  const bool across = std::fabs(pb.x - pa.x) >= std::fabs(pb.y - pa.y);
  const float dx = across ? 0 : half;
  const float dy = across ? half : 0;
  const Vertex a0 = at_window(a, {pa.x - dx, pa.y - dy});
  const Vertex a1 = at_window(a, {pa.x + dx, pa.y + dy});
  const Vertex b0 = at_window(b, {pb.x - dx, pb.y - dy});
  const Vertex b1 = at_window(b, {pb.x + dx, pb.y + dy});
  make_room(6);
  emit(a0);
  emit(b0);
  emit(b1);
  emit(a0);
  emit(b1);
  emit(a1);
}

void emit_line_strip() {
  for (int i = 0; i + 1 < layer.vertex_count; ++i) {
    emit_wide_segment(layer.vertices[i], layer.vertices[i + 1]);
  }
}

}  // namespace

void gl_layer_flush() {
  flush_batch();
}

void gl_layer_reset() {
  flush_batch();
  layer.projection = identity_matrix();
  layer.modelview = identity_matrix();
  layer.current = &layer.modelview;
  layer.colour[0] = layer.colour[1] = layer.colour[2] = 1;
  layer.texcoord[0] = layer.texcoord[1] = 0;
  layer.line_width = 1;
  layer.bound_texture = 0;
  layer.texturing = layer.blending = false;
  layer.blend_source = GL_ONE;
  layer.blend_destination = GL_ZERO;
  layer.vertex_count = 0;
}

extern "C" {

void glMatrixMode(GLenum mode) {
  layer.current = mode == GL_PROJECTION ? &layer.projection : &layer.modelview;
}

void glLoadIdentity() {
  *layer.current = identity_matrix();
}

void glFrustum(GLdouble left, GLdouble right, GLdouble bottom, GLdouble top, GLdouble near_val,
               GLdouble far_val) {
  *layer.current =
      multiply(*layer.current, frustum_matrix(left, right, bottom, top, near_val, far_val));
}

void glTranslatef(GLfloat x, GLfloat y, GLfloat z) {
  *layer.current = multiply(*layer.current, translation_matrix(x, y, z));
}

void glRotatef(GLfloat angle, GLfloat x, GLfloat y, GLfloat z) {
  *layer.current = multiply(*layer.current, rotation_matrix(angle, x, y, z));
}

void glColor3f(GLfloat red, GLfloat green, GLfloat blue) {
  layer.colour[0] = red;
  layer.colour[1] = green;
  layer.colour[2] = blue;
}

void glTexCoord2f(GLfloat s, GLfloat t) {
  layer.texcoord[0] = s;
  layer.texcoord[1] = t;
}

void glLineWidth(GLfloat width) {
  if (width > 0) layer.line_width = width;
}

void glBegin(GLenum mode) {
  layer.primitive = mode;
  layer.vertex_count = 0;
  layer.to_clip = multiply(layer.projection, layer.modelview);
}

void glVertex3f(GLfloat x, GLfloat y, GLfloat z) {
  if (layer.vertex_count == max_primitive_vertices) return;
  Vertex& v = layer.vertices[layer.vertex_count++];
  v.clip = transform(layer.to_clip, {x, y, z, 1});
  v.r = clamp_unit(layer.colour[0]);
  v.g = clamp_unit(layer.colour[1]);
  v.b = clamp_unit(layer.colour[2]);
  v.s = layer.texcoord[0];
  v.t = layer.texcoord[1];
}

void glEnd() {
  if (layer.primitive == GL_POLYGON) emit_polygon();
  if (layer.primitive == GL_LINE_STRIP) emit_line_strip();
  layer.vertex_count = 0;
}

void glEnable(GLenum cap) {
  if (cap == GL_TEXTURE_2D) layer.texturing = true;
  if (cap == GL_BLEND) layer.blending = true;
}

void glDisable(GLenum cap) {
  if (cap == GL_TEXTURE_2D) layer.texturing = false;
  if (cap == GL_BLEND) layer.blending = false;
}

void glBlendFunc(GLenum source, GLenum destination) {
  layer.blend_source = static_cast<int32_t>(source);
  layer.blend_destination = static_cast<int32_t>(destination);
}

void glClear(GLbitfield mask) {
  flush_batch();
  if (mask & GL_COLOR_BUFFER_BIT) webgl_clear();  // there is no depth buffer to clear
}

void glBindTexture(GLenum, GLuint texture) {
  layer.bound_texture = texture;
}

// Rows of three-byte texels are always tightly packed: the visuals ask for exactly that.
void glPixelStorei(GLenum, GLint) {}

void glTexParameteri(GLenum, GLenum name, GLint value) {
  flush_batch();
  webgl_texture_parameter(layer.bound_texture, static_cast<int32_t>(name), value);
}

void glTexImage2D(GLenum, GLint, GLint, GLsizei width, GLsizei height, GLint, GLenum, GLenum,
                  const GLvoid* pixels) {
  flush_batch();
  webgl_texture_image(layer.bound_texture, width, height, static_cast<const uint8_t*>(pixels));
}

void glCopyTexSubImage2D(GLenum, GLint, GLint x_offset, GLint y_offset, GLint x, GLint y,
                         GLsizei width, GLsizei height) {
  flush_batch();
  webgl_copy_to_texture(layer.bound_texture, x_offset, y_offset, x, y, width, height);
}

}  // extern "C"
