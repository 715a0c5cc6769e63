// The recording OpenGL stand-in: extern "C" definitions with the prototypes of <GL/gl.h>, so
// the visuals link against it instead of libGL. Test thread only.
#include "gl_recorder.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <numbers>

std::vector<GlCall> gl_calls;
std::function<void(const GlCall&)> gl_call_hook;

namespace {

using Matrix = std::array<double, 16>;  // column-major, as OpenGL keeps it

constexpr Matrix identity = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
Matrix modelview = identity;
Matrix projection = identity;
GLenum matrix_mode = GL_MODELVIEW;

Matrix& current_matrix() {
  return matrix_mode == GL_PROJECTION ? projection : modelview;
}

void multiply_current(const Matrix& m) {
  Matrix& c = current_matrix();
  Matrix r{};
  for (int col = 0; col < 4; ++col) {
    for (int row = 0; row < 4; ++row) {
      for (int k = 0; k < 4; ++k) r[col * 4 + row] += c[k * 4 + row] * m[col * 4 + k];
    }
  }
  c = r;
}

void record(const char* name, std::vector<double> args) {
  gl_calls.push_back(GlCall{name, std::move(args)});
  if (gl_call_hook) gl_call_hook(gl_calls.back());
}

}  // namespace

void gl_recorder_reset() {
  gl_calls.clear();
  gl_call_hook = nullptr;
  modelview = projection = identity;
  matrix_mode = GL_MODELVIEW;
}

std::vector<GlCall> calls_named(const std::string& name) {
  std::vector<GlCall> found;
  for (const GlCall& call : gl_calls) {
    if (call.name == name) found.push_back(call);
  }
  return found;
}

int count_calls(const std::string& name) {
  return static_cast<int>(calls_named(name).size());
}

extern "C" {

void glBegin(GLenum mode) {
  record("glBegin", {double(mode)});
}
void glEnd() {
  record("glEnd", {});
}
void glTexCoord2f(GLfloat s, GLfloat t) {
  record("glTexCoord2f", {s, t});
}
void glColor3f(GLfloat r, GLfloat g, GLfloat b) {
  record("glColor3f", {r, g, b});
}
void glClear(GLbitfield mask) {
  record("glClear", {double(mask)});
}
void glEnable(GLenum cap) {
  record("glEnable", {double(cap)});
}
void glDisable(GLenum cap) {
  record("glDisable", {double(cap)});
}
void glBindTexture(GLenum target, GLuint texture) {
  record("glBindTexture", {double(target), double(texture)});
}
void glBlendFunc(GLenum sfactor, GLenum dfactor) {
  record("glBlendFunc", {double(sfactor), double(dfactor)});
}
void glLineWidth(GLfloat width) {
  record("glLineWidth", {width});
}
void glPixelStorei(GLenum pname, GLint param) {
  record("glPixelStorei", {double(pname), double(param)});
}
void glTexParameteri(GLenum target, GLenum pname, GLint param) {
  record("glTexParameteri", {double(target), double(pname), double(param)});
}
void glCopyTexSubImage2D(GLenum target, GLint level, GLint xoffset, GLint yoffset, GLint x, GLint y,
                         GLsizei width, GLsizei height) {
  record("glCopyTexSubImage2D", {double(target), double(level), double(xoffset), double(yoffset),
                                 double(x), double(y), double(width), double(height)});
}
void glTexImage2D(GLenum target, GLint level, GLint internalFormat, GLsizei width, GLsizei height,
                  GLint border, GLenum format, GLenum type, const GLvoid* pixels) {
  record("glTexImage2D", {double(target), double(level), double(internalFormat), double(width),
                          double(height), double(border), double(format), double(type)});
  gl_calls.back().pixels = pixels;
  if (pixels && format == GL_RGB && type == GL_UNSIGNED_BYTE) {
    const auto* bytes = static_cast<const unsigned char*>(pixels);
    gl_calls.back().lit_bytes = std::count_if(bytes, bytes + long{width} * height * 3,
                                              [](unsigned char v) { return v != 0; });
  }
}

// Fills the picture with the number of frames cleared so far, so a test can tell them apart.
void glReadPixels(GLint x, GLint y, GLsizei width, GLsizei height, GLenum format, GLenum type,
                  GLvoid* pixels) {
  record("glReadPixels",
         {double(x), double(y), double(width), double(height), double(format), double(type)});
  const auto cleared = static_cast<unsigned char>(count_calls("glClear"));
  std::fill_n(static_cast<unsigned char*>(pixels), long{width} * height * 3, cleared);
}

void glMatrixMode(GLenum mode) {
  record("glMatrixMode", {double(mode)});
  matrix_mode = mode;
}
void glLoadIdentity() {
  record("glLoadIdentity", {});
  current_matrix() = identity;
}
void glFrustum(GLdouble left, GLdouble right, GLdouble bottom, GLdouble top, GLdouble near_val,
               GLdouble far_val) {
  record("glFrustum", {left, right, bottom, top, near_val, far_val});
  const double w = right - left, h = top - bottom, d = far_val - near_val;
  multiply_current({2 * near_val / w, 0, 0, 0, 0, 2 * near_val / h, 0, 0, (right + left) / w,
                    (top + bottom) / h, -(far_val + near_val) / d, -1, 0, 0,
                    -2 * far_val * near_val / d, 0});
}
void glTranslatef(GLfloat x, GLfloat y, GLfloat z) {
  record("glTranslatef", {x, y, z});
  multiply_current({1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, x, y, z, 1});
}
void glRotatef(GLfloat angle, GLfloat x, GLfloat y, GLfloat z) {
  record("glRotatef", {angle, x, y, z});
  const double n = std::sqrt(double(x) * x + double(y) * y + double(z) * z);
  const double ux = x / n, uy = y / n, uz = z / n;
  const double a = angle * std::numbers::pi / 180, c = std::cos(a), s = std::sin(a), k = 1 - c;
  multiply_current({ux * ux * k + c, uy * ux * k + uz * s, ux * uz * k - uy * s, 0,
                    ux * uy * k - uz * s, uy * uy * k + c, uy * uz * k + ux * s, 0,
                    ux * uz * k + uy * s, uy * uz * k - ux * s, uz * uz * k + c, 0, 0, 0, 0, 1});
}
void glVertex3f(GLfloat x, GLfloat y, GLfloat z) {
  record("glVertex3f", {x, y, z});
  const Matrix& m = modelview;
  for (int row = 0; row < 3; ++row) {
    gl_calls.back().eye[row] = m[row] * x + m[4 + row] * y + m[8 + row] * z + m[12 + row];
  }
}

}  // extern "C"
