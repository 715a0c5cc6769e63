// 4 x 4 single-precision matrices as OpenGL keeps them (column by column), and the matrices of
// glFrustum, glTranslatef and glRotatef. Pure arithmetic; any thread.
#pragma once

#include <array>

using Matrix = std::array<float, 16>;  // element (row r, column c) at [c * 4 + r]

struct Vec4 {
  float x, y, z, w;
};

Matrix identity_matrix();
Matrix multiply(const Matrix& a, const Matrix& b);  // a x b: b acts first
Vec4 transform(const Matrix& m, const Vec4& v);
Matrix frustum_matrix(double left, double right, double bottom, double top, double near_val,
                      double far_val);
Matrix translation_matrix(float x, float y, float z);
Matrix rotation_matrix(float degrees, float x, float y, float z);  // about (x, y, z)
