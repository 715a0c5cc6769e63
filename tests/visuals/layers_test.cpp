// The effect layers: text ring and its font, ring sphere, spirals and fan.
#include <GL/gl.h>

#include <cmath>
#include <map>
#include <set>

#include "visuals/glyphs.h"
#include "visuals/layers.h"
#include "visuals_fixture.h"

using Layers = VisualsTest;

namespace {

struct Dot {
  double x, y, z;  // centre in eye space
};

// Centres of the textured quads drawn, in drawing order.
std::vector<Dot> quad_centres() {
  std::vector<Dot> dots;
  const std::vector<GlCall> corners = calls_named("glVertex3f");
  for (size_t i = 0; i + 3 < corners.size(); i += 4) {
    Dot d{0, 0, 0};
    for (size_t k = i; k < i + 4; ++k) {
      d.x += corners[k].eye[0] / 4;
      d.y += corners[k].eye[1] / 4;
      d.z += corners[k].eye[2] / 4;
    }
    dots.push_back(d);
  }
  return dots;
}

int lit_cells(int glyph) {
  int lit = 0;
  for (int r = 0; r < glyph_rows; ++r) {
    for (int c = 0; c < glyph_columns; ++c) lit += glyph_cell_lit(glyph, r, c);
  }
  return lit;
}

// Strips drawn with GL_LINE_STRIP and the vertex count of each.
std::vector<int> line_strips() {
  std::vector<int> strips;
  for (const GlCall& call : gl_calls) {
    if (call.name == "glBegin") strips.push_back(call.args[0] == GL_LINE_STRIP ? 0 : -1);
    if (call.name == "glVertex3f" && !strips.empty() && strips.back() >= 0) ++strips.back();
  }
  std::erase(strips, -1);
  return strips;
}

}  // namespace

TEST(Glyphs, TableSpellsTheTitleThenAGap) {
  const std::string title = "KELVORINSAA ";
  ASSERT_EQ(title.size(), size_t{message_length});
  std::map<char, int> glyph_of;
  std::set<std::string> shapes;
  for (int cell = 0; cell < message_length; ++cell) {
    const int g = message_glyphs[cell];
    ASSERT_GE(g, 0);
    ASSERT_LT(g, glyph_count);
    auto [it, fresh] = glyph_of.emplace(title[cell], g);
    EXPECT_EQ(it->second, g) << "letter " << title[cell] << " drawn with two glyphs";
    if (fresh) shapes.insert(std::string(&glyph_table[g * glyph_size], glyph_size));
    EXPECT_EQ(lit_cells(g) == 0, title[cell] == ' ') << "cell " << cell;
  }
  EXPECT_EQ(shapes.size(), glyph_of.size());  // every letter has a shape of its own
  EXPECT_EQ(glyph_of.size(), size_t{glyph_count});
  EXPECT_EQ(glyph_table.back(), '\0');
  for (int i = 0; i < glyph_count * glyph_size; ++i) {
    EXPECT_TRUE(glyph_table[i] == ' ' || glyph_table[i] == '1');
  }
}

TEST_F(Layers, TextRingShowsEachCellUprightAndLeftToRightWhenItFacesTheViewer) {
  for (int cell = 0; cell < message_length; ++cell) {
    gl_recorder_reset();
    // Untilted, the fixed -30 degree turn and the spin bring cell n to the front at 600 (n - 1).
    draw_text_ring(600 * ((cell + message_length - 1) % message_length), 0);
    const std::vector<Dot> dots = quad_centres();
    size_t first = 0;
    for (int before = 0; before < cell; ++before) first += lit_cells(message_glyphs[before]);
    const int g = message_glyphs[cell];
    ASSERT_LE(first + lit_cells(g), dots.size());
    std::set<std::pair<int, int>> seen;
    for (size_t i = first; i < first + lit_cells(g); ++i) {
      EXPECT_NEAR(dots[i].z, -0.8, 1e-4);
      const double column = dots[i].x / 0.14, row = (0.28 - dots[i].y) / 0.14;
      EXPECT_NEAR(column, std::round(column), 1e-3);
      EXPECT_NEAR(row, std::round(row), 1e-3);
      seen.insert({int(std::lround(row)), int(std::lround(column))});
    }
    for (int r = 0; r < glyph_rows; ++r) {
      for (int c = 0; c < glyph_columns; ++c) {
        EXPECT_EQ(seen.count({r, c}) == 1, glyph_cell_lit(g, r, c)) << cell << ":" << r << c;
      }
    }
  }
}

TEST_F(Layers, TextRingStepsThirtyDegreesPerCellAndTiltsByParam) {
  draw_text_ring(1000, 33);  // low bits 1: axis (0, 2, 1)
  const std::vector<GlCall> turns = calls_named("glRotatef");
  ASSERT_EQ(turns.size(), 2u + message_length);
  EXPECT_EQ(turns[0].args, (std::vector<double>{-30, 0, 2, 1}));
  EXPECT_EQ(turns[1].args, (std::vector<double>{-50, 0, 1, 0}));
  for (size_t i = 2; i < turns.size(); ++i) {
    EXPECT_EQ(turns[i].args, (std::vector<double>{30, 0, 1, 0}));
  }
  int lit = 0;
  for (int8_t g : message_glyphs) lit += lit_cells(g);
  EXPECT_EQ(count_calls("glBegin"), lit);
  EXPECT_EQ(count_calls("glColor3f") + count_calls("glBlendFunc"), 0);

  // Untilted, the cell after the front one stands to its right, on the ring of radius 1.2.
  gl_recorder_reset();
  draw_text_ring(0, 16);
  const std::vector<Dot> dots = quad_centres();
  const size_t second = lit_cells(message_glyphs[0]);
  EXPECT_GT(dots[second].x, dots[second - 1].x + 0.2);
  for (const Dot& d : dots) {
    EXPECT_GE(std::hypot(d.x, d.z + 2), 1.2 - 1e-4);
    EXPECT_LE(std::hypot(d.x, d.z + 2), std::hypot(0.42, 1.2) + 1e-4);
  }
}

TEST_F(Layers, RingSphereIsThirteenRingsAroundItsCentre) {
  for (auto [param, centre] : {std::pair{0, -4.0}, {33, -1.9375}, {224, -6.0}}) {
    gl_recorder_reset();
    draw_ring_sphere(5000, static_cast<uint8_t>(param));
    EXPECT_EQ(line_strips(), std::vector<int>(13, 65));
    for (const GlCall& v : calls_named("glVertex3f")) {
      const double d = std::hypot(v.eye[0], v.eye[1], v.eye[2] - centre);
      EXPECT_GT(d, 2.69);
      EXPECT_LT(d, 3.31);
    }
  }
  EXPECT_EQ(calls_named("glLineWidth").at(0).args[0], 8);
  const std::vector<GlCall> heights = calls_named("glVertex3f");
  EXPECT_EQ(heights.front().args[1], -2.9f);
  EXPECT_NEAR(heights.back().args[1], 2.92, 0.001);
  EXPECT_EQ(calls_named("glColor3f").at(0).args, (std::vector<double>{0.26f, 0.10f, 0.11f}));

  gl_recorder_reset();
  draw_ring_sphere(1500, 0);  // half way through the fade-in
  const std::vector<double> half = calls_named("glColor3f").at(0).args;
  EXPECT_FLOAT_EQ(half[0], 0.13f);
  EXPECT_FLOAT_EQ(half[2], 0.055f);
}

TEST_F(Layers, SpiralCountFollowsTheLevelReadBeforeEachOne) {
  for (auto [level, spirals] :
       {std::pair{0.0f, 0}, {0.25f, 1}, {0.26f, 2}, {0.75f, 3}, {1.0f, 4}}) {
    gl_recorder_reset();
    audio_level = level;
    draw_spirals(1234);
    EXPECT_EQ(line_strips(), std::vector<int>(spirals, 100)) << level;
    EXPECT_EQ(count_calls("glLineWidth"), 1);
    EXPECT_EQ(count_calls("glRotatef"), 1 + spirals);
    EXPECT_EQ(calls_named("glTranslatef").at(0).args, (std::vector<double>{0, 0, -1.5}));
  }
  EXPECT_EQ(calls_named("glColor3f").at(3).args,
            (std::vector<double>{float(0.5 + 0.15), float(0.4 + 0.15), float(0.4 + 0.15)}));

  // The sound falls silent while the first spiral is drawn: no second one follows.
  gl_recorder_reset();
  audio_level = 1.0f;
  gl_call_hook = [](const GlCall& call) {
    if (call.name == "glEnd") audio_level = 0.0f;
  };
  draw_spirals(0);
  EXPECT_EQ(line_strips(), std::vector<int>(1, 100));
}

TEST_F(Layers, FanHas58BladesThatCurlWithTheLevel) {
  draw_fan(0, 0);
  EXPECT_EQ(count_calls("glBegin"), 58);
  EXPECT_EQ(count_calls("glLoadIdentity"), 2);
  const std::vector<GlCall> turns = calls_named("glRotatef");
  ASSERT_EQ(turns.size(), 64u);
  EXPECT_EQ(turns[2].args, (std::vector<double>{0, 0, 0, 1}));
  EXPECT_EQ(turns[32].args, (std::vector<double>{180, 0, 0, 1}));
  EXPECT_EQ(turns[34].args, (std::vector<double>{40, 0, 0, 1}));
  // Silent, the first arm is straight: blade n hangs 0.15 (n + 1) out and 0.59 + 0.01 (n + 1) deep.
  const std::vector<GlCall> corners = calls_named("glVertex3f");
  for (int n = 0; n < 29; ++n) {
    EXPECT_EQ(corners[4 * n].args[2], -0.59f);
    EXPECT_NEAR(corners[4 * n].eye[0], -0.15 * (n + 1), 1e-5);
    EXPECT_NEAR(corners[4 * n].eye[1], -0.1, 1e-6);
    EXPECT_NEAR(corners[4 * n].eye[2], -0.59 - 0.01 * (n + 1), 1e-5);
  }

  gl_recorder_reset();
  audio_level = 0.5f;
  draw_fan(0, 1);
  EXPECT_EQ(calls_named("glColor3f").at(0).args,
            (std::vector<double>{float(0.2), float(0.19), float(0.175)}));
  EXPECT_EQ(calls_named("glRotatef").at(1).args, (std::vector<double>{45, 1, 0, 0}));
  EXPECT_EQ(calls_named("glRotatef").at(2).args, (std::vector<double>{275, 0, 0, 1}));

  // The level is read again for every turn and every blade.
  gl_recorder_reset();
  audio_level = 0.0f;
  gl_call_hook = [](const GlCall& call) {
    if (call.name == "glEnd") audio_level = audio_level + 0.01f;
  };
  draw_fan(0, 0);
  const std::vector<GlCall> blades = calls_named("glVertex3f");
  EXPECT_EQ(blades[0].args[2], -0.59f);
  EXPECT_FLOAT_EQ(blades[4].args[2], float(0.5 * 0.01f - 0.59));
  EXPECT_NEAR(calls_named("glRotatef").at(3).args[0], 550 * 0.01, 1e-4);
}
