// Texture creation and the disc image.
#include <GL/gl.h>

#include <algorithm>

#include "visuals/textures.h"
#include "visuals_fixture.h"

using Textures = VisualsTest;

namespace {
int disc_pixel(int column, int row) {
  return disc_image[(row * texture_width + column) * 3];
}
}  // namespace

TEST_F(Textures, CreatesThreeTexturesAndLeavesTheDiscBound) {
  textures_init();
  const std::vector<GlCall> binds = calls_named("glBindTexture");
  ASSERT_EQ(binds.size(), 3u);
  for (uint32_t n = 1; n <= 3; ++n) EXPECT_EQ(binds[n - 1].args[1], n);
  EXPECT_EQ(count_calls("glPixelStorei"), 3);
  EXPECT_EQ(calls_named("glPixelStorei")[0].args, (std::vector<double>{GL_UNPACK_ALIGNMENT, 1}));
  const std::vector<GlCall> params = calls_named("glTexParameteri");
  ASSERT_EQ(params.size(), 12u);
  EXPECT_EQ(params[2].args, (std::vector<double>{GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR}));
  EXPECT_EQ(params[3].args,
            (std::vector<double>{GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST}));
  EXPECT_EQ(params[1].args, (std::vector<double>{GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT}));

  const std::vector<GlCall> uploads = calls_named("glTexImage2D");
  ASSERT_EQ(uploads.size(), 4u);
  for (const GlCall& upload : uploads) {
    EXPECT_EQ(upload.args, (std::vector<double>{GL_TEXTURE_2D, 0, GL_RGBA, 1024, 512, 0, GL_RGB,
                                                GL_UNSIGNED_BYTE}));
  }
  EXPECT_EQ(uploads[2].pixels, nullptr);
  EXPECT_EQ(uploads[3].pixels, disc_image.data());
  EXPECT_EQ(gl_calls.back().name, "glTexImage2D");
}

TEST_F(Textures, FeedbackAndGlowStartBlackEvenOnASecondInit) {
  for (int init = 0; init < 2; ++init) {
    gl_recorder_reset();
    textures_init();
    const std::vector<GlCall> uploads = calls_named("glTexImage2D");
    ASSERT_EQ(uploads.size(), 4u);
    for (int n = 0; n < 2; ++n) {
      EXPECT_NE(uploads[n].pixels, nullptr);
      EXPECT_EQ(uploads[n].lit_bytes, 0);
    }
    EXPECT_EQ(uploads[3].lit_bytes, std::count(disc_image.begin(), disc_image.end(), 255));
    EXPECT_GT(uploads[3].lit_bytes, 3 * 150000);  // about pi 220^2 pixels
  }
}

TEST_F(Textures, DiscHasAHardEdgeAtRadius220) {
  textures_init();
  for (auto [c, r] : {std::pair{320, 20}, {320, 460}, {100, 240}, {540, 240}, {320, 240}}) {
    EXPECT_EQ(disc_pixel(c, r), 255) << c << "," << r;
  }
  for (auto [c, r] : {std::pair{99, 240}, {541, 240}, {320, 19}, {320, 461}, {0, 0}, {639, 479}}) {
    EXPECT_EQ(disc_pixel(c, r), 0) << c << "," << r;
  }
  EXPECT_EQ(disc_image[(240 * texture_width + 320) * 3 + 2], 255);
  const auto outside = [](int column, int row) { return disc_pixel(column, row) != 0; };
  for (int row = 0; row < texture_height; ++row) {
    for (int column = 640; column < texture_width; ++column) ASSERT_FALSE(outside(column, row));
  }
  EXPECT_TRUE(std::all_of(disc_image.begin() + 480 * texture_width * 3, disc_image.end(),
                          [](uint8_t v) { return v == 0; }));
}
