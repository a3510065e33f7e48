// A picture of a window as it stands on the screen, saved as a 24-bit BMP.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

struct ScreenshotResult {
    bool saved = false;
    int width = 0;
    int height = 0;
    int distinctColours = 0; // a blank (unpainted) window has one or two
    std::vector<DWORD> pixels; // 0xRRGGBB, the top row first
};

// Copies the window's screen rectangle (caption and frame included) from the
// screen, so that it shows what a player sees.
ScreenshotResult CaptureWindow(HWND window, const std::string& bmpPath);

// Copies a rectangle of the screen, in screen coordinates, without saving it
// (distinctColours is not counted): quick enough to look at the screen again
// and again. No pixels on failure.
ScreenshotResult CaptureScreenArea(const RECT& area);

// Captures the area until two captures in a row are alike (whatever was
// being painted there is done), at most for `timeoutMs`; the last capture.
ScreenshotResult CaptureStillScreenArea(const RECT& area, DWORD timeoutMs = 5000);

// The share of pixels, 0 to 1, that two captures of the same area have
// alike; 0 when either is empty or their sizes differ.
double SamePixelShare(const ScreenshotResult& before, const ScreenshotResult& now);

// Whether a capture still shows what `shown` held there: half of its pixels
// or more alike. A window gone from the screen leaves what lay behind it,
// which shares next to nothing with it; a caret's blink changes a few pixels.
bool StillShows(const ScreenshotResult& shown, const ScreenshotResult& now);

// Where the close box of a captioned window with a dialog frame lies in a
// capture of it: the rightmost caption button, its 3D edges left out.
RECT CloseBoxArea(HWND window);

// Where a child window lies in a capture of its top-level window.
RECT ChildArea(HWND window, HWND child);

// The ink inside an area of a capture (what stands out from the area's most
// frequent colour), cut into runs of columns that blank columns separate
// (for text: about one run per glyph), left to right, each with the bounds
// of its ink.
std::vector<RECT> InkRuns(const ScreenshotResult& shot, RECT area);

// Where the caption's icon and text lie in a capture of a window with a
// dialog frame: the caption bar up to its close box.
RECT CaptionTextArea(HWND window);

// How symmetric, left to right, the dark glyph inside an area of a capture
// is: the share of its dark pixels whose mirror image (about the glyph's own
// centre) is dark as well. A cross gives about 1, a letter much less; an
// area without a glyph gives 0.
double GlyphMirrorSymmetry(const ScreenshotResult& shot, RECT area);
