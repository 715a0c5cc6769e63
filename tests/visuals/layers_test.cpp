// The effect layers: text ring and its font, ring sphere, spirals and fan.
#include <cmath>
#include <map>
#include <set>

#include "visuals/glyphs.h"
#include "visuals/layers.h"
#include "visuals_fixture.h"

using Layers = VisualsTest;

namespace {

int lit_cells(int glyph) {
  int lit = 0;
  for (int i = 0; i < glyph_size; ++i) lit += glyph_cell_lit(glyph, i / 4, i % 4);
  return lit;
}

// Vertex counts of the line strips drawn.
std::vector<int> line_strips() {
  std::vector<int> strips;
  bool in_strip = false;
  for (const GlCall& call : gl_calls) {
    if (call.name == "glBegin" && (in_strip = call.args[0] == GL_LINE_STRIP)) strips.push_back(0);
    if (call.name == "glVertex3f" && in_strip) ++strips.back();
  }
  return strips;
}

}  // namespace

TEST(Glyphs, TableSpellsTheTitleThenAGap) {
  const std::string title = "KELVORINSAA ";
  std::map<char, int> glyph_of;
  std::set<std::string> shapes;
  for (int cell = 0; cell < message_length; ++cell) {
    const int g = message_glyphs[cell];
    ASSERT_TRUE(g >= 0 && g < glyph_count);
    EXPECT_EQ(glyph_of.emplace(title[cell], g).first->second, g) << "two glyphs for one letter";
    shapes.insert(std::string(&glyph_table[g * glyph_size], glyph_size));
    EXPECT_EQ(lit_cells(g) == 0, title[cell] == ' ') << "cell " << cell;
  }
  EXPECT_EQ(shapes.size(), size_t{glyph_count});  // every letter has a shape of its own
  EXPECT_EQ(glyph_table.back(), '\0');
}

TEST_F(Layers, TextRingShowsEachCellUprightAndLeftToRightWhenItFacesTheViewer) {
  int first_dot = 0;
  for (int cell = 0; cell < message_length; ++cell) {
    gl_recorder_reset();
    // Untilted, the fixed -30 degree turn and the spin bring cell n to the front at 600 (n - 1).
    draw_text_ring(600 * ((cell + message_length - 1) % message_length), 0);
    const std::vector<GlCall> corners = calls_named("glVertex3f");
    const int g = message_glyphs[cell];
    ASSERT_LE(4 * (first_dot + lit_cells(g)), int(corners.size()));
    std::set<std::pair<long, long>> seen;
    for (int dot = first_dot; dot < first_dot + lit_cells(g); ++dot) {
      const auto& low = corners[4 * dot].eye;  // the corner at (-0.1, -0.075)
      EXPECT_NEAR(low[2], -0.8, 1e-4);
      const double column = (low[0] + 0.1) / 0.14, row = (0.28 - 0.075 - low[1]) / 0.14;
      EXPECT_NEAR(column, std::round(column), 1e-3);
      EXPECT_NEAR(row, std::round(row), 1e-3);
      seen.insert({std::lround(row), std::lround(column)});
    }
    for (int i = 0; i < glyph_size; ++i) {
      EXPECT_EQ(seen.count({i / 4, i % 4}), glyph_cell_lit(g, i / 4, i % 4)) << cell << ":" << i;
    }
    first_dot += lit_cells(g);
  }
  EXPECT_EQ(count_calls("glBegin"), first_dot);  // one quad per lit cell, none for blanks
  EXPECT_EQ(count_calls("glColor3f") + count_calls("glBlendFunc"), 0);
}

TEST_F(Layers, TextRingStepsThirtyDegreesPerCellAndTiltsByParam) {
  draw_text_ring(1000, 33);  // low four bits 1: axis (0, 2, 1)
  const std::vector<GlCall> turns = calls_named("glRotatef");
  ASSERT_EQ(turns.size(), 2u + message_length);
  EXPECT_EQ(turns[0].args, (Args{-30, 0, 2, 1}));
  EXPECT_EQ(turns[1].args, (Args{-50, 0, 1, 0}));
  for (size_t i = 2; i < turns.size(); ++i) EXPECT_EQ(turns[i].args, (Args{30, 0, 1, 0}));
}

TEST_F(Layers, RingSphereIsThirteenRingsAroundItsCentreFadingIn) {
  for (auto [param, centre] : {std::pair{0, -4.0}, {33, -1.9375}, {224, -6.0}}) {
    gl_recorder_reset();
    draw_ring_sphere(5000, static_cast<uint8_t>(param));
    EXPECT_EQ(line_strips(), std::vector<int>(13, 65));
    for (const GlCall& v : calls_named("glVertex3f")) {
      const double d = std::hypot(v.eye[0], v.eye[1], v.eye[2] - centre);
      EXPECT_TRUE(d > 2.69 && d < 3.31) << d;
    }
  }
  EXPECT_EQ(calls_named("glLineWidth").at(0).args, (Args{8}));
  EXPECT_EQ(calls_named("glColor3f").at(0).args, (Args{0.26f, 0.10f, 0.11f}));
  gl_recorder_reset();
  draw_ring_sphere(1500, 0);  // half way through the fade-in
  EXPECT_FLOAT_EQ(calls_named("glColor3f").at(0).args[0], 0.13f);
}

TEST_F(Layers, SpiralCountFollowsTheLevelReadBeforeEachOne) {
  for (auto [level, spirals] : {std::pair{0.0f, 0}, {0.25f, 1}, {0.26f, 2}, {1.0f, 4}}) {
    gl_recorder_reset();
    audio_level = level;
    draw_spirals(1234);
    EXPECT_EQ(line_strips(), std::vector<int>(spirals, 100)) << level;
    EXPECT_EQ(count_calls("glLineWidth"), 1);
    EXPECT_EQ(count_calls("glRotatef"), 1 + spirals);
  }
  // The sound falls silent while the first spiral is drawn: no second one follows.
  gl_recorder_reset();
  gl_call_hook = [](const GlCall& call) {
    if (call.name == "glEnd") audio_level = 0.0f;
  };
  draw_spirals(0);
  EXPECT_EQ(line_strips(), std::vector<int>(1, 100));
}

TEST_F(Layers, FanHas58BladesThatCurlWithTheLevelReadAtEachStep) {
  draw_fan(0, 0);
  EXPECT_EQ(count_calls("glBegin"), 58);
  const std::vector<GlCall> turns = calls_named("glRotatef");
  ASSERT_EQ(turns.size(), 64u);
  EXPECT_EQ(turns[32].args, (Args{180, 0, 0, 1}));  // the second arm, half a turn on
  EXPECT_EQ(turns[34].args, (Args{40, 0, 0, 1}));
  // Silent, the first arm is straight: blade n at 0.15 (n + 1) out, 0.59 + 0.01 (n + 1) deep.
  const std::vector<GlCall> corners = calls_named("glVertex3f");
  for (int n = 0; n < 29; ++n) {
    EXPECT_NEAR(corners[4 * n].eye[0], -0.15 * (n + 1), 1e-5);
    EXPECT_NEAR(corners[4 * n].eye[2], -0.59 - 0.01 * (n + 1), 1e-5);
  }
  gl_recorder_reset();
  audio_level = 0.5f;
  gl_call_hook = [](const GlCall& call) {
    if (call.name == "glEnd") audio_level = audio_level + 0.01f;
  };
  draw_fan(0, 1);
  EXPECT_EQ(calls_named("glColor3f").at(0).args, (Args{0.2f, float(0.26 * 0.5 + 0.06), 0.175f}));
  const std::vector<GlCall> curled = calls_named("glRotatef");
  EXPECT_EQ(curled.at(1).args, (Args{45, 1, 0, 0}));
  EXPECT_EQ(curled.at(2).args, (Args{275, 0, 0, 1}));
  EXPECT_FLOAT_EQ(curled.at(3).args[0], float(550 * double(0.51f)));
  EXPECT_FLOAT_EQ(calls_named("glVertex3f").at(4).args[2], float(0.5 * double(0.51f) - 0.59));
}
