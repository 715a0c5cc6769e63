// Texture creation and the disc image.
#include <algorithm>

#include "visuals/textures.h"
#include "visuals_fixture.h"

using Textures = VisualsTest;

TEST_F(Textures, CreatesThreeBlankTexturesThenUploadsTheDisc) {
  for (int init = 0; init < 2; ++init) {  // a second set-up starts just as black
    gl_recorder_reset();
    textures_init();
    const std::vector<GlCall> binds = calls_named("glBindTexture");
    ASSERT_EQ(binds.size(), 3u);
    for (uint32_t n = 1; n <= 3; ++n)
      EXPECT_EQ(binds[n - 1].args, (Args{GL_TEXTURE_2D, double(n)}));
    EXPECT_EQ(calls_named("glPixelStorei").at(2).args, (Args{GL_UNPACK_ALIGNMENT, 1}));
    const std::vector<GlCall> params = calls_named("glTexParameteri");
    ASSERT_EQ(params.size(), 12u);
    EXPECT_EQ(params[9].args, (Args{GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT}));
    EXPECT_EQ(params[10].args, (Args{GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR}));
    EXPECT_EQ(params[11].args, (Args{GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST}));
    const std::vector<GlCall> uploads = calls_named("glTexImage2D");
    ASSERT_EQ(uploads.size(), 4u);
    for (const GlCall& upload : uploads) {
      EXPECT_EQ(upload.args,
                (Args{GL_TEXTURE_2D, 0, GL_RGBA, 1024, 512, 0, GL_RGB, GL_UNSIGNED_BYTE}));
    }
    EXPECT_TRUE(uploads[0].pixels && uploads[1].pixels);
    EXPECT_EQ(uploads[0].lit_bytes + uploads[1].lit_bytes, 0);
    EXPECT_EQ(uploads[2].pixels, nullptr);
    EXPECT_EQ(uploads[3].lit_bytes, std::count(disc_image.begin(), disc_image.end(), 255));
    EXPECT_GT(uploads[3].lit_bytes, 3 * 150000);  // about pi 220^2 white pixels
    EXPECT_EQ(gl_calls.back().name, "glTexImage2D");
  }
}

TEST_F(Textures, DiscHasAHardEdgeAtRadius220AndNothingOutsideThePicture) {
  textures_init();
  const auto pixel = [](int column, int row) { return disc_image[(row * 1024 + column) * 3 + 2]; };
  for (auto [c, r] : {std::pair{320, 20}, {320, 460}, {100, 240}, {540, 240}, {320, 240}}) {
    EXPECT_EQ(pixel(c, r), 255) << c << "," << r;
  }
  for (auto [c, r] : {std::pair{99, 240}, {541, 240}, {320, 19}, {320, 461}, {0, 0}, {639, 479}}) {
    EXPECT_EQ(pixel(c, r), 0) << c << "," << r;
  }
  long outside = 0;
  for (int row = 0; row < 512; ++row) {
    for (int column = 0; column < 1024; ++column)
      outside += (row >= 480 || column >= 640) && pixel(column, row);
  }
  EXPECT_EQ(outside, 0);
}
