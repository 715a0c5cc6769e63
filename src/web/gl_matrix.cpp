// The matrix arithmetic of the web's OpenGL layer, in single precision as OpenGL keeps its
// matrices. Pure arithmetic; any thread.
#include "web/gl_matrix.h"

#include <cmath>

namespace {

constexpr double degrees_to_radians = 3.14159265358979323846 / 180.0;

float& at(Matrix& m, int row, int column) {
  return m[column * 4 + row];
}

}  // namespace

Matrix identity_matrix() {
  return {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
}

Matrix multiply(const Matrix& a, const Matrix& b) {
  Matrix product{};
  for (int column = 0; column < 4; ++column) {
    for (int row = 0; row < 4; ++row) {
      float sum = 0;
      for (int k = 0; k < 4; ++k) sum += a[k * 4 + row] * b[column * 4 + k];
      product[column * 4 + row] = sum;
    }
  }
  return product;
}

Vec4 transform(const Matrix& m, const Vec4& v) {
  return {m[0] * v.x + m[4] * v.y + m[8] * v.z + m[12] * v.w,
          m[1] * v.x + m[5] * v.y + m[9] * v.z + m[13] * v.w,
          m[2] * v.x + m[6] * v.y + m[10] * v.z + m[14] * v.w,
          m[3] * v.x + m[7] * v.y + m[11] * v.z + m[15] * v.w};
}

Matrix frustum_matrix(double left, double right, double bottom, double top, double near_val,
                      double far_val) {
  Matrix m{};
  at(m, 0, 0) = static_cast<float>(2 * near_val / (right - left));
  at(m, 0, 2) = static_cast<float>((right + left) / (right - left));
  at(m, 1, 1) = static_cast<float>(2 * near_val / (top - bottom));
  at(m, 1, 2) = static_cast<float>((top + bottom) / (top - bottom));
  at(m, 2, 2) = static_cast<float>(-(far_val + near_val) / (far_val - near_val));
  at(m, 2, 3) = static_cast<float>(-2 * far_val * near_val / (far_val - near_val));
  at(m, 3, 2) = -1;
  return m;
}

Matrix translation_matrix(float x, float y, float z) {
  Matrix m = identity_matrix();
  m[12] = x;
  m[13] = y;
  m[14] = z;
  return m;
}

// The axis is made a unit vector first; a zero axis leaves the matrix as it is.
Matrix rotation_matrix(float degrees, float x, float y, float z) {
  const float length = std::sqrt(x * x + y * y + z * z);
  if (length == 0) return identity_matrix();
  x /= length;
  y /= length;
  z /= length;
  const float s = static_cast<float>(std::sin(degrees * degrees_to_radians));
  const float c = static_cast<float>(std::cos(degrees * degrees_to_radians));
  const float k = 1 - c;
  Matrix m = identity_matrix();
  at(m, 0, 0) = x * x * k + c;
  at(m, 0, 1) = x * y * k - z * s;
  at(m, 0, 2) = x * z * k + y * s;
  at(m, 1, 0) = y * x * k + z * s;
  at(m, 1, 1) = y * y * k + c;
  at(m, 1, 2) = y * z * k - x * s;
  at(m, 2, 0) = z * x * k - y * s;
  at(m, 2, 1) = z * y * k + x * s;
  at(m, 2, 2) = z * z * k + c;
  return m;
}
