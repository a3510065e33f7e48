// A picture of the real dialog on the virtual display, kept in the build
// folder (e2e-keyconfig.bmp) for people to look at.
#include "E2EFixture.h"

#include "driver/Screenshot.h"

namespace {

TEST_F(KeyConfigEndToEnd, DialogRendersOnScreen) {
    PutSaveFile(EncodeSave(SampleSave(DefaultMasks)));
    ASSERT_NO_FATAL_FAILURE(LaunchReady());
    ASSERT_TRUE(Joypad().WaitReads(3)); // a few ticks for the first paint

    const std::string path = ProgramFolder() + "\\..\\e2e-keyconfig.bmp";
    ScreenshotResult shot = CaptureWindow(Tool().Dialog(), path);
    ASSERT_TRUE(shot.saved) << path;
    std::printf("screenshot: %s (%dx%d, %d colours)\n", path.c_str(), shot.width, shot.height,
                shot.distinctColours);
    // 205 x 90 dialog units are well over 200 x 100 pixels at any font size.
    EXPECT_GT(shot.width, 200);
    EXPECT_GT(shot.height, 100);
    // Captions, borders and anti-aliased glyphs give many colours; an
    // unpainted window gives one or two.
    EXPECT_GT(shot.distinctColours, 8);
    // The caption buttons are drawn with the Marlett font; where it is
    // missing Wine falls back on another font and the close box shows the
    // letter "r", which is far from symmetric, instead of a cross.
    const double symmetry = GlyphMirrorSymmetry(shot, CloseBoxArea(Tool().Dialog()));
    std::printf("close box glyph symmetry: %.2f\n", symmetry);
    EXPECT_GT(symmetry, 0.8) << "the close box shows no cross";

    ASSERT_TRUE(Tool().Click(CancelId));
    ASSERT_NO_FATAL_FAILURE(ExpectExitZero());
}

} // namespace
