#include "driver/Screenshot.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>
#include <vector>

namespace {

bool WriteBmp(const std::string& path, int width, int height, const std::vector<BYTE>& pixels, int stride) {
    BITMAPFILEHEADER file{};
    BITMAPINFOHEADER info{};
    info.biSize = sizeof info;
    info.biWidth = width;
    info.biHeight = height; // bottom-up, as GetDIBits returned the rows
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    info.biSizeImage = DWORD(stride * height);
    file.bfType = 0x4D42; // "BM"
    file.bfOffBits = sizeof file + sizeof info;
    file.bfSize = file.bfOffBits + info.biSizeImage;
    FILE* out = std::fopen(path.c_str(), "wb");
    if (!out) return false;
    bool ok = std::fwrite(&file, sizeof file, 1, out) == 1 && std::fwrite(&info, sizeof info, 1, out) == 1 &&
              std::fwrite(pixels.data(), 1, pixels.size(), out) == pixels.size();
    return std::fclose(out) == 0 && ok;
}

// The caption bar of a window with a dialog frame, in a capture of it.
RECT CaptionBar(HWND window) {
    RECT rect;
    GetWindowRect(window, &rect);
    const int frameX = GetSystemMetrics(SM_CXDLGFRAME);
    const int frameY = GetSystemMetrics(SM_CYDLGFRAME);
    return {frameX, frameY, rect.right - rect.left - frameX, frameY + GetSystemMetrics(SM_CYCAPTION)};
}

// Copies a rectangle of the screen: into `result` as 0xRRGGBB pixels, top
// row first, and into `dib` as the bottom-up 24-bit rows a BMP file holds.
bool ReadScreen(const RECT& rect, ScreenshotResult& result, std::vector<BYTE>& dib, int& stride) {
    result.width = rect.right - rect.left;
    result.height = rect.bottom - rect.top;
    if (result.width <= 0 || result.height <= 0) return false;

    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, result.width, result.height);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, result.width, result.height, screen, rect.left, rect.top, SRCCOPY);
    SelectObject(memory, old);

    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = result.width;
    info.bmiHeader.biHeight = result.height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    stride = (result.width * 3 + 3) & ~3;
    dib.assign(size_t(stride) * result.height, 0);
    int rows = GetDIBits(memory, bitmap, 0, result.height, dib.data(), &info, DIB_RGB_COLORS);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    if (rows != result.height) return false;

    result.pixels.reserve(size_t(result.width) * result.height);
    for (int y = result.height - 1; y >= 0; --y) // GetDIBits gave the rows bottom-up
        for (int x = 0; x < result.width; ++x) {
            const BYTE* p = &dib[size_t(y) * stride + size_t(x) * 3];
            result.pixels.push_back(DWORD(p[0]) | DWORD(p[1]) << 8 | DWORD(p[2]) << 16);
        }
    return true;
}

} // namespace

ScreenshotResult CaptureWindow(HWND window, const std::string& bmpPath) {
    ScreenshotResult result;
    RECT rect;
    std::vector<BYTE> dib;
    int stride = 0;
    if (!GetWindowRect(window, &rect) || !ReadScreen(rect, result, dib, stride)) return result;
    result.distinctColours = int(std::set<DWORD>(result.pixels.begin(), result.pixels.end()).size());
    result.saved = WriteBmp(bmpPath, result.width, result.height, dib, stride);
    return result;
}

ScreenshotResult CaptureScreenArea(const RECT& area) {
    ScreenshotResult result;
    std::vector<BYTE> dib;
    int stride = 0;
    if (!ReadScreen(area, result, dib, stride)) result.pixels.clear();
    return result;
}

ScreenshotResult CaptureStillScreenArea(const RECT& area, DWORD timeoutMs) {
    constexpr DWORD PauseMs = 30;
    ScreenshotResult last = CaptureScreenArea(area);
    for (DWORD waited = 0; waited < timeoutMs; waited += PauseMs) {
        Sleep(PauseMs);
        ScreenshotResult next = CaptureScreenArea(area);
        bool still = !next.pixels.empty() && next.pixels == last.pixels;
        last = std::move(next);
        if (still) break;
    }
    return last;
}

double SamePixelShare(const ScreenshotResult& before, const ScreenshotResult& now) {
    if (before.pixels.empty() || before.pixels.size() != now.pixels.size()) return 0;
    size_t same = 0;
    for (size_t i = 0; i < before.pixels.size(); ++i) same += before.pixels[i] == now.pixels[i];
    return double(same) / double(before.pixels.size());
}

RECT CloseBoxArea(HWND window) {
    const RECT bar = CaptionBar(window);
    const int edge = 3; // a caption button's raised edge is two pixels, and one of air
    return {bar.right - GetSystemMetrics(SM_CXSIZE) + edge, bar.top + edge, bar.right - edge, bar.bottom - edge};
}

namespace {

bool IsDark(const ScreenshotResult& shot, int x, int y) {
    const DWORD c = shot.pixels[size_t(y) * shot.width + x];
    return (c & 0xFF) + (c >> 8 & 0xFF) + (c >> 16 & 0xFF) < 3 * 80;
}

RECT ClipToShot(const ScreenshotResult& shot, RECT area) {
    area.left = std::max(area.left, LONG(0));
    area.top = std::max(area.top, LONG(0));
    area.right = std::min(area.right, LONG(shot.width));
    area.bottom = std::min(area.bottom, LONG(shot.height));
    return area;
}

} // namespace

RECT ChildArea(HWND window, HWND child) {
    RECT outer, inner;
    GetWindowRect(window, &outer);
    GetWindowRect(child, &inner);
    return {inner.left - outer.left, inner.top - outer.top, inner.right - outer.left, inner.bottom - outer.top};
}

std::vector<RECT> InkRuns(const ScreenshotResult& shot, RECT area) {
    area = ClipToShot(shot, area);
    // The background is the area's most frequent colour; ink is what is far from it.
    std::map<DWORD, int> counts;
    for (int y = area.top; y < area.bottom; ++y)
        for (int x = area.left; x < area.right; ++x) ++counts[shot.pixels[size_t(y) * shot.width + x]];
    DWORD background = 0;
    int most = 0;
    for (const auto& [colour, count] : counts)
        if (count > most) background = colour, most = count;
    auto ink = [&](int x, int y) {
        const DWORD c = shot.pixels[size_t(y) * shot.width + x];
        int distance = 0;
        for (int shift = 0; shift < 24; shift += 8) distance += std::abs(int(c >> shift & 0xFF) - int(background >> shift & 0xFF));
        return distance > 3 * 80;
    };

    std::vector<RECT> runs;
    bool inRun = false;
    for (int x = area.left; x < area.right; ++x) {
        int top = area.bottom, bottom = area.top - 1;
        for (int y = area.top; y < area.bottom; ++y)
            if (ink(x, y)) top = std::min(top, y), bottom = std::max(bottom, y);
        if (bottom >= top) {
            if (!inRun) runs.push_back({x, top, x + 1, bottom + 1});
            RECT& run = runs.back();
            run.right = x + 1;
            run.top = std::min(run.top, LONG(top));
            run.bottom = std::max(run.bottom, LONG(bottom + 1));
        }
        inRun = bottom >= top;
    }
    return runs;
}

RECT CaptionTextArea(HWND window) {
    RECT bar = CaptionBar(window);
    bar.right -= GetSystemMetrics(SM_CXSIZE) + 2;
    bar.bottom -= 1; // the line under the caption
    return bar;
}

double GlyphMirrorSymmetry(const ScreenshotResult& shot, RECT area) {
    area = ClipToShot(shot, area);
    int left = area.right, right = area.left - 1, count = 0;
    for (int y = area.top; y < area.bottom; ++y)
        for (int x = area.left; x < area.right; ++x)
            if (IsDark(shot, x, y)) left = std::min(left, x), right = std::max(right, x), ++count;
    if (count == 0) return 0;
    int mirrored = 0;
    for (int y = area.top; y < area.bottom; ++y)
        for (int x = left; x <= right; ++x)
            if (IsDark(shot, x, y) && IsDark(shot, left + right - x, y)) ++mirrored;
    return double(mirrored) / count;
}

bool StillShows(const ScreenshotResult& shown, const ScreenshotResult& now) {
    return SamePixelShare(shown, now) >= 0.5;
}
