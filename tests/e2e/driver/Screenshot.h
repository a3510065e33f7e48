// A picture of a window as it stands on the screen, saved as a 24-bit BMP.
#pragma once

#include <windows.h>

#include <string>

struct ScreenshotResult {
    bool saved = false;
    int width = 0;
    int height = 0;
    int distinctColours = 0; // a blank (unpainted) window has one or two
};

// Copies the window's screen rectangle (caption and frame included) from the
// screen, so that it shows what a player sees.
ScreenshotResult CaptureWindow(HWND window, const std::string& bmpPath);
