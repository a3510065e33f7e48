// The real tool on a screen of more dots per inch, as laptops and handhelds
// run Windows at 125 % to 200 %: Wine reports the DPI that this suite's
// prefix names (WINE_DPI: 120, 144 or 192; 96 without it). The tool declares
// itself system DPI aware, so Windows does not stretch it as a bitmap, and
// lays its dialog out in dialog units of its font, which the system sizes for
// the DPI. Here every text it shows must fit the control that shows it: the
// text's extent in the font at this DPI must fit the room the control gives
// it, and what is drawn on the screen must be that text, whole, inside it.
#include "E2EFixture.h"

#include "app/ShortenedFolder.h"
#include "driver/PadNames.h"
#include "driver/Screenshot.h"
#include "support/PlainWindow.h"

#include <algorithm>
#include <cstdlib>
#include <map>

namespace {

int ScreenDpi() {
    const char* named = std::getenv("WINE_DPI");
    return named && *named ? std::atoi(named) : 96;
}

// The template's font: 9 points of "ＭＳ Ｐゴシック", in pixels at this DPI.
HFONT DialogTemplateFont(int dpi) {
    LOGFONTW font{};
    font.lfHeight = -MulDiv(9, dpi, 72);
    font.lfCharSet = DEFAULT_CHARSET;
    lstrcpyW(font.lfFaceName, L"ＭＳ Ｐゴシック");
    return CreateFontIndirectW(&font);
}

// The system's font for message boxes, which lays out and draws their text.
HFONT MessageBoxFont() {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    if (!SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) return nullptr;
    return CreateFontIndirectW(&metrics.lfMessageFont);
}

// For the messages: the output is read as UTF-8.
std::string Utf8(const std::wstring& text) {
    int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(size_t(length > 0 ? length : 0), '\0');
    if (length > 0) WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), &bytes[0], length, nullptr, nullptr);
    return bytes;
}

std::wstring ClassName(HWND window) {
    wchar_t name[32] = {};
    GetClassNameW(window, name, 32);
    return name;
}

// The room a control gives its text, in a capture of its top-level window:
// a push button's face inside its frame (a default button's is a pixel
// thicker), an edit control's client area inside its margins, a static
// control's whole client area.
RECT TextRoom(HWND top, HWND control) {
    RECT room;
    GetClientRect(control, &room);
    MapWindowPoints(control, nullptr, reinterpret_cast<POINT*>(&room), 2);
    RECT outer;
    GetWindowRect(top, &outer);
    OffsetRect(&room, -outer.left, -outer.top);
    const std::wstring kind = ClassName(control);
    if (lstrcmpiW(kind.c_str(), L"Button") == 0) {
        const int frame = GetSystemMetrics(SM_CXEDGE) + 1;
        InflateRect(&room, -frame, -frame);
    } else if (lstrcmpiW(kind.c_str(), L"Edit") == 0) {
        const LRESULT margins = SendMessageW(control, EM_GETMARGINS, 0, 0);
        room.left += LOWORD(margins);
        room.right -= HIWORD(margins);
    }
    return room;
}

// One text as the tool shows it, and what it takes.
struct TextFit {
    std::wstring text;
    RECT room;   // in the capture
    SIZE needed; // the text's extent in the font at this DPI, within the room's width
    RECT ink;    // the bounds of what is drawn in the room, in the capture; empty for none
};

TextFit MeasureText(const ScreenshotResult& shot, HWND top, HWND control, HFONT font) {
    TextFit fit;
    fit.text = KeyConfigSession::WindowTextW(control);
    fit.room = TextRoom(top, control);
    // Statics and message boxes break lines between words; buttons and edit
    // fields show one line.
    const std::wstring kind = ClassName(control);
    const UINT lines = lstrcmpiW(kind.c_str(), L"Static") == 0 ? DT_WORDBREAK : DT_SINGLELINE;
    RECT extent = {0, 0, fit.room.right - fit.room.left, 0};
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, font);
    DrawTextW(dc, fit.text.c_str(), int(fit.text.size()), &extent, DT_CALCRECT | DT_NOPREFIX | lines);
    SelectObject(dc, old);
    DeleteDC(dc);
    fit.needed = {extent.right - extent.left, extent.bottom - extent.top};

    fit.ink = {0, 0, 0, 0};
    for (const RECT& run : InkRuns(shot, fit.room)) {
        if (IsRectEmpty(&fit.ink))
            fit.ink = run;
        else
            UnionRect(&fit.ink, &fit.ink, &run);
    }
    return fit;
}

// The text fits its room; what is drawn is the whole text in the font at
// this DPI (not a part of it, not a smaller font), and touches neither the
// room's right edge nor its foot, where a text too large is cut off.
void ExpectFits(const TextFit& fit, const std::string& what) {
    const SIZE room = {fit.room.right - fit.room.left, fit.room.bottom - fit.room.top};
    const SIZE ink = {fit.ink.right - fit.ink.left, fit.ink.bottom - fit.ink.top};
    std::printf("  %-34s room %3ldx%-3ld text %3ldx%-3ld drawn %3ldx%-3ld\n", what.c_str(), room.cx, room.cy,
                fit.needed.cx, fit.needed.cy, ink.cx, ink.cy);
    EXPECT_LE(fit.needed.cx, room.cx) << what << " is wider than its control";
    EXPECT_LE(fit.needed.cy, room.cy) << what << " is taller than its control";
    ASSERT_FALSE(IsRectEmpty(&fit.ink)) << what << " is not drawn";
    EXPECT_GE(10 * ink.cx, 7 * fit.needed.cx) << what << " is drawn narrower than it is: cut off, or too small a font";
    EXPECT_LE(ink.cx, fit.needed.cx + 2) << what << " is drawn wider than the font at this DPI draws it";
    EXPECT_LE(ink.cy, fit.needed.cy + 2) << what << " is drawn taller than the font at this DPI draws it";
    EXPECT_LT(fit.ink.right, fit.room.right) << what << " reaches the right edge of its control";
    EXPECT_LT(fit.ink.bottom, fit.room.bottom) << what << " reaches the foot of its control";
}

SIZE TextExtent(HDC dc, const std::wstring& text) {
    SIZE size = {0, 0};
    GetTextExtentPoint32W(dc, text.c_str(), int(text.size()), &size);
    return size;
}

// The status line's smaller font, made as the tool makes it: the face of
// the font selected into `dc` (the dialog's) at the largest cell height, no
// larger than that font's, at which two of its lines fit the line's height.
HFONT StatusLineSmallFont(HDC dc, int roomHeight) {
    LOGFONTW like{};
    GetObjectW(GetCurrentObject(dc, OBJ_FONT), sizeof like, &like);
    TEXTMETRICW dialog{};
    GetTextMetricsW(dc, &dialog);
    for (int cell = std::min<int>(roomHeight / 2, dialog.tmHeight); cell >= 1; --cell) {
        like.lfHeight = cell;
        HFONT font = CreateFontIndirectW(&like);
        HGDIOBJ old = SelectObject(dc, font);
        TEXTMETRICW metrics{};
        GetTextMetricsW(dc, &metrics);
        SelectObject(dc, old);
        if (2 * metrics.tmHeight <= roomHeight || cell == 1) return font;
        DeleteObject(font);
    }
    return nullptr;
}

// The most frequent colour of an area of an image (0xRRGGBB, `width` pixels
// a row): the background of a control's text.
DWORD Background(const std::vector<DWORD>& pixels, int width, RECT area) {
    std::map<DWORD, int> counts;
    for (LONG y = area.top; y < area.bottom; ++y)
        for (LONG x = area.left; x < area.right; ++x) ++counts[pixels[size_t(y) * width + x]];
    DWORD background = 0;
    int most = 0;
    for (const auto& [colour, count] : counts)
        if (count > most) background = colour, most = count;
    return background;
}

// The pixels of an area, row by row, that stand out from its background as
// ink does (as InkRuns tells them).
std::vector<bool> InkMask(const std::vector<DWORD>& pixels, int width, RECT area) {
    const DWORD background = Background(pixels, width, area);
    std::vector<bool> ink;
    for (LONG y = area.top; y < area.bottom; ++y) {
        for (LONG x = area.left; x < area.right; ++x) {
            const DWORD c = pixels[size_t(y) * width + x];
            int distance = 0;
            for (int shift = 0; shift < 24; shift += 8)
                distance += std::abs(int(c >> shift & 0xFF) - int(background >> shift & 0xFF));
            ink.push_back(distance > 3 * 80);
        }
    }
    return ink;
}

// A text drawn as the status line's static control draws it (left aligned,
// no word wrap; one line in the middle of the height, two from the top), in
// the font and the dialog's text colour over the background (0xRRGGBB): the
// pixels, 0xRRGGBB, row by row.
std::vector<DWORD> DrawnAsTheLineDraws(const std::wstring& text, bool oneLine, HFONT font, SIZE size,
                                       DWORD background) {
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), size.cx, -size.cy, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!bitmap) {
        DeleteDC(dc);
        return std::vector<DWORD>(size_t(size.cx) * size.cy, background);
    }
    HGDIOBJ oldBitmap = SelectObject(dc, bitmap);
    HGDIOBJ oldFont = SelectObject(dc, font);
    RECT area = {0, 0, size.cx, size.cy};
    HBRUSH brush = CreateSolidBrush(RGB(background >> 16 & 0xFF, background >> 8 & 0xFF, background & 0xFF));
    FillRect(dc, &area, brush);
    DeleteObject(brush);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
    DrawTextW(dc, text.c_str(), int(text.size()), &area,
              DT_LEFT | DT_EXPANDTABS | DT_NOPREFIX | (oneLine ? DT_SINGLELINE | DT_VCENTER : 0));
    GdiFlush();
    const DWORD* first = static_cast<const DWORD*>(bits);
    std::vector<DWORD> pixels(first, first + size_t(size.cx) * size.cy);
    for (DWORD& pixel : pixels) pixel &= 0xFFFFFF;
    SelectObject(dc, oldFont);
    SelectObject(dc, oldBitmap);
    DeleteObject(bitmap);
    DeleteDC(dc);
    return pixels;
}

BOOL CALLBACK CollectChild(HWND control, LPARAM list) {
    if (IsWindowVisible(control)) reinterpret_cast<std::vector<HWND>*>(list)->push_back(control);
    return TRUE;
}

// A setting of the program's manifest as Windows' side-by-side loader reads
// it (the activation context of the program's manifest resource 1); empty
// where the manifest has none in that namespace.
std::wstring ManifestSetting(const std::wstring& program, const wchar_t* space, const wchar_t* name) {
    using QuerySettings = BOOL(WINAPI*)(DWORD, HANDLE, const wchar_t*, const wchar_t*, wchar_t*, SIZE_T, SIZE_T*);
    auto query = reinterpret_cast<QuerySettings>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "QueryActCtxSettingsW")));
    if (!query) return L"(no QueryActCtxSettingsW)";
    ACTCTXW context{};
    context.cbSize = sizeof context;
    context.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
    context.lpSource = program.c_str();
    context.lpResourceName = MAKEINTRESOURCEW(1);
    HANDLE handle = CreateActCtxW(&context);
    if (handle == INVALID_HANDLE_VALUE) return L"(the manifest does not load)";
    wchar_t value[64] = {};
    SIZE_T length = 0;
    const bool found = query(0, handle, space, name, value, 64, &length);
    ReleaseActCtx(handle);
    return found ? value : L"";
}

const wchar_t WindowsSettings2005[] = L"http://schemas.microsoft.com/SMI/2005/WindowsSettings";
const wchar_t WindowsSettings2016[] = L"http://schemas.microsoft.com/SMI/2016/WindowsSettings";

class AtScreenDpi : public KeyConfigEndToEnd {
protected:
    static void SetUpTestSuite() {
        // This program reads the tool's windows and the screen in pixels, as
        // they are, not scaled for a program that knows no DPI.
        SetProcessDPIAware();
        KeyConfigEndToEnd::SetUpTestSuite();
    }

    void SetUp() override {
        HDC screen = GetDC(nullptr);
        const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
        ReleaseDC(nullptr, screen);
        ASSERT_EQ(ScreenDpi(), dpi) << "Wine reports another DPI than WINE_DPI names: run this suite through "
                                       "scripts/run-e2e, which makes its prefix report it";
        KeyConfigEndToEnd::SetUp();
        font_ = DialogTemplateFont(dpi);
        ASSERT_TRUE(font_);
    }

    void TearDown() override {
        if (font_) DeleteObject(font_);
        KeyConfigEndToEnd::TearDown();
    }

    std::string ShotPath(const char* name) const {
        return AnsiProgramFolder() + "\\..\\e2e-" + name + "-" + std::to_string(ScreenDpi()) + "dpi.bmp";
    }

    // Every visible control of the dialog: its labels, fields and buttons.
    void ExpectEveryDialogTextFits(const char* name) {
        HWND dialog = Tool().Dialog();
        const ScreenshotResult shot = CaptureWindow(dialog, ShotPath(name));
        ASSERT_TRUE(shot.saved);
        RECT client;
        GetClientRect(dialog, &client);
        std::printf("%d dpi, %s: the dialog %dx%d pixels, its client area %ldx%ld\n", ScreenDpi(), name, shot.width,
                    shot.height, client.right, client.bottom);
        std::vector<HWND> controls;
        EnumChildWindows(dialog, CollectChild, reinterpret_cast<LPARAM>(&controls));
        ASSERT_GE(controls.size(), 19u); // eight labels, eight fields, three buttons
        for (HWND control : controls) {
            if (GetDlgCtrlID(control) == PadStatusId) continue; // its own fonts: ExpectStatusLineFits
            const TextFit fit = MeasureText(shot, dialog, control, font_);
            if (fit.text.empty()) continue;
            ASSERT_NO_FATAL_FAILURE(ExpectFits(fit, Utf8(ClassName(control) + L" " + fit.text)));
        }
        ASSERT_NO_FATAL_FAILURE(ExpectStatusLineFits(shot));
    }

    // The status line: each of its lines fits the line's width, and all of
    // them its height, in the font the tool shows them in (the dialog's
    // where the text fits one line of it, else the line's smaller one); what
    // is drawn is that text in that font, in its place, pixel for pixel.
    void ExpectStatusLineFits(const ScreenshotResult& shot) {
        HWND dialog = Tool().Dialog();
        HWND line = GetDlgItem(dialog, PadStatusId);
        const std::wstring text = KeyConfigSession::WindowTextW(line);
        const std::vector<std::wstring> lines = StatusLines(text);
        const RECT room = TextRoom(dialog, line);
        const SIZE roomSize = {room.right - room.left, room.bottom - room.top};
        ASSERT_LE(lines.size(), 2u) << Utf8(text);

        HDC dc = CreateCompatibleDC(nullptr);
        HGDIOBJ old = SelectObject(dc, font_);
        const bool oneLineFits = lines.size() == 1 && TextExtent(dc, text).cx <= roomSize.cx;
        HFONT small = oneLineFits ? nullptr : StatusLineSmallFont(dc, roomSize.cy);
        HFONT font = small ? small : font_;
        SelectObject(dc, font);
        TEXTMETRICW metrics{};
        GetTextMetricsW(dc, &metrics);
        std::vector<LONG> widths;
        for (const std::wstring& shown : lines) widths.push_back(TextExtent(dc, shown).cx);
        SelectObject(dc, old);
        DeleteDC(dc);

        // What is drawn, pixel for pixel, against the text drawn here in that
        // font as a static control of the line's style draws it.
        const std::vector<bool> drawn = InkMask(shot.pixels, shot.width, room);
        const std::vector<DWORD> expectedPixels =
            DrawnAsTheLineDraws(text, lines.size() == 1, font, roomSize, Background(shot.pixels, shot.width, room));
        const std::vector<bool> expected = InkMask(expectedPixels, roomSize.cx, {0, 0, roomSize.cx, roomSize.cy});
        if (small) DeleteObject(small);
        size_t ink = 0, astray = 0;
        for (size_t i = 0; i < expected.size(); ++i) {
            ink += expected[i];
            astray += expected[i] != drawn[i];
        }

        std::printf("  %-34s room %3ldx%-3ld %s font, cell %ld, lines", Utf8(L"status " + AsOneLine(text)).c_str(),
                    roomSize.cx, roomSize.cy, small ? "smaller" : "dialog's", metrics.tmHeight);
        for (LONG width : widths) std::printf(" %ld", width);
        std::printf(" wide; %zu of %zu ink pixels astray\n", astray, ink);
        EXPECT_LE(long(lines.size()) * metrics.tmHeight, roomSize.cy) << "the lines are taller than the status line";
        for (size_t i = 0; i < lines.size(); ++i)
            EXPECT_LE(widths[i], roomSize.cx)
                << "the status line's \"" << Utf8(lines[i]) << "\" is wider than the line";
        EXPECT_GT(ink, 0u) << "the status line has no text";
        EXPECT_LE(20 * astray, ink) << "the status line does not show its text in its font, where it belongs";
    }

    // The virtual joypad gives the name (empty: it is unplugged, or its own)
    // and the tool looks for pads again: the line has changed.
    void ShowPadNamed(const std::wstring& name) {
        HWND line = GetDlgItem(Tool().Dialog(), PadStatusId);
        const std::wstring before = KeyConfigSession::WindowTextW(line);
        Joypad().NameProduct(name);
        const LONG enumerations = Joypad().Enumerations();
        ASSERT_TRUE(Tool().PostDeviceChange());
        ASSERT_TRUE(Joypad().WaitEnumerations(enumerations + 1)) << "the tool did not look for pads again";
        ASSERT_TRUE(WaitUntil([&] { return KeyConfigSession::WindowTextW(line) != before; }, 10000))
            << "the line still shows " << Utf8(before);
        // The paint reaches the screen as the tool's thread goes on: a few
        // ticks of a pad it reads, or a moment without one.
        if (Joypad().Attached())
            ASSERT_TRUE(Joypad().WaitReads(3));
        else
            Sleep(300);
    }

    void ExpectStatusLineShotFits(const char* name) {
        const ScreenshotResult shot = CaptureWindow(Tool().Dialog(), ShotPath(name));
        ASSERT_TRUE(shot.saved);
        ASSERT_NO_FATAL_FAILURE(ExpectStatusLineFits(shot));
    }

    void ExpectErrorBoxTextFits(const char* text, const char* name) {
        ExpectErrorBoxTextFits(WideFromShiftJis(text), name);
    }

    void ExpectErrorBoxTextFits(const std::wstring& text, const char* name) {
        HWND box = Tool().WaitForErrorBox();
        ASSERT_TRUE(box) << "no error box";
        Sleep(300); // the first paint
        const ScreenshotResult shot = CaptureWindow(box, ShotPath(name));
        ASSERT_TRUE(shot.saved);
        std::printf("%d dpi, %s: the box %dx%d pixels\n", ScreenDpi(), name, shot.width, shot.height);
        HFONT font = MessageBoxFont();
        ASSERT_TRUE(font);
        const TextFit fit = MeasureText(shot, box, GetDlgItem(box, 0xFFFF), font); // the box's text control
        DeleteObject(font);
        EXPECT_EQ(text, fit.text);
        ASSERT_NO_FATAL_FAILURE(ExpectFits(fit, "the box's text"));
        ASSERT_TRUE(Tool().DismissErrorBox(box));
    }

private:
    HFONT font_ = nullptr;
};

// Wine gives every program the screen's DPI and reports the same awareness
// for its windows, whatever its manifest says; Windows goes by the manifest.
// So the manifest is read here as Windows' loader reads it: system aware, and not per monitor (Windows 10's
// dpiAwareness, or "true/pm"), which would ask the tool to make its fonts again whenever the window moves to a screen
// of another DPI.
TEST_F(AtScreenDpi, TheManifestDeclaresSystemDpiAwareness) {
    EXPECT_EQ(L"true", ManifestSetting(ToolPath(), WindowsSettings2005, L"dpiAware"));
    EXPECT_EQ(L"", ManifestSetting(ToolPath(), WindowsSettings2016, L"dpiAwareness"));
}

TEST_F(AtScreenDpi, EveryTextOfTheDialogFitsItsControl) {
    ASSERT_NO_FATAL_FAILURE(StartWithDefaults());
    ASSERT_TRUE(Joypad().WaitReads(3)); // a few ticks for the first paint
    ASSERT_NO_FATAL_FAILURE(ExpectEveryDialogTextFits("keyconfig"));

    // Cleared, every field shows its placeholder.
    ASSERT_TRUE(Tool().Click(ClearId));
    ASSERT_TRUE(Joypad().WaitReads(3));
    ASSERT_NO_FATAL_FAILURE(ExpectEveryDialogTextFits("keyconfig-cleared"));
    ASSERT_TRUE(Tool().Click(CancelId));
    ASSERT_NO_FATAL_FAILURE(ExpectExitZero());
}

// The widest texts a field shows: the highest buttons' numbers.
TEST_F(AtScreenDpi, TheWidestBindingsFitTheirFields) {
    SlotMasks masks;
    for (int slot = 0; slot < SlotCount; ++slot) masks[size_t(slot)] = ButtonMask(28 - slot);
    PutSaveFile(EncodeSave(SampleSave(masks)));
    ASSERT_NO_FATAL_FAILURE(LaunchReady());
    ASSERT_EQ(ButtonText(28), Tool().FieldText(0));
    ASSERT_TRUE(Joypad().WaitReads(3));
    ASSERT_NO_FATAL_FAILURE(ExpectEveryDialogTextFits("keyconfig-widest"));
    ASSERT_TRUE(Tool().Click(CancelId));
    ASSERT_NO_FATAL_FAILURE(ExpectExitZero());
}

// The status line with each of the names real controllers give: the words
// that tell the pad apart stand whole, and every line fits the line. Then
// no controller, and a button held, in the dialog's font.
TEST_F(AtScreenDpi, EveryPadNameFitsTheStatusLine) {
    ASSERT_NO_FATAL_FAILURE(StartWithDefaults());
    HWND line = GetDlgItem(Tool().Dialog(), PadStatusId);
    for (const RealPadName& real : RealPadNames) {
        SCOPED_TRACE(Utf8(real.name));
        ASSERT_NO_FATAL_FAILURE(ShowPadNamed(real.name));
        const std::wstring shown = AsOneLine(KeyConfigSession::WindowTextW(line));
        EXPECT_TRUE(ShowsWordsWhole(shown, real.words)) << Utf8(shown) << " does not show " << Utf8(real.words);
        ASSERT_NO_FATAL_FAILURE(ExpectStatusLineShotFits("status-name"));
    }

    Joypad().Detach();
    ASSERT_NO_FATAL_FAILURE(ShowPadNamed(L""));
    EXPECT_EQ(WideFromShiftJis(NoControllerLine), KeyConfigSession::WindowTextW(line));
    ASSERT_NO_FATAL_FAILURE(ExpectStatusLineShotFits("status-none"));
    Joypad().Attach();
    ASSERT_NO_FATAL_FAILURE(ShowPadNamed(L"Controller (Xbox One For Windows)"));
    // A held button while the focus is on OK binds nothing: the line shows it.
    ASSERT_TRUE(Tool().Click(FieldId(7)));
    ASSERT_TRUE(Tool().WaitForFocus(FieldId(7)));
    ASSERT_TRUE(Tool().PressKey(VK_TAB));
    ASSERT_TRUE(Tool().WaitForFocus(OkId));
    ASSERT_TRUE(Joypad().WaitHandled(Joypad().Hold({24})));
    EXPECT_EQ(WideFromShiftJis(ButtonText(24)), KeyConfigSession::WindowTextW(line));
    ASSERT_NO_FATAL_FAILURE(ExpectStatusLineShotFits("status-button"));
    ASSERT_TRUE(Joypad().WaitHandled(Joypad().ReleaseAll()));
    ASSERT_TRUE(Tool().Click(CancelId));
    ASSERT_NO_FATAL_FAILURE(ExpectExitZero());
}

// No save file: the box names the folder, here one longer than the box
// shows whole, in Japanese letters.
TEST_F(AtScreenDpi, TheMissingFileBoxFitsItsText) {
    ASSERT_NO_FATAL_FAILURE(UseGameFolderNamed(L"オルヴァンヌ のセーブデータを置いた長い名前のフォルダー"));
    ASSERT_NO_FATAL_FAILURE(Launch());
    ASSERT_NO_FATAL_FAILURE(ExpectErrorBoxTextFits(MissingSaveText(ShortenedFolder(GameFolder())), "load-missing"));
    ASSERT_NO_FATAL_FAILURE(WaitReady());
    ASSERT_TRUE(Tool().Click(CancelId));
    ASSERT_NO_FATAL_FAILURE(ExpectExitZero());
}

// A save file there but never whole: the box comes after the wait.
TEST_F(AtScreenDpi, TheUnreadableFileBoxFitsItsText) {
    PutSaveFile("QVR");
    ASSERT_NO_FATAL_FAILURE(Launch());
    ASSERT_NO_FATAL_FAILURE(ExpectErrorBoxTextFits(UnreadableSaveText, "load-unreadable"));
    ASSERT_NO_FATAL_FAILURE(WaitReady());
    ASSERT_TRUE(Tool().Click(CancelId));
    ASSERT_NO_FATAL_FAILURE(ExpectExitZero());
}

TEST_F(AtScreenDpi, TheSaveErrorBoxFitsItsText) {
    ASSERT_NO_FATAL_FAILURE(StartWithDefaults());
    ASSERT_TRUE(SetFileAttributesA(SavePath().c_str(), FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(Joypad().Press(13));
    ASSERT_TRUE(Tool().Click(OkId));
    ASSERT_NO_FATAL_FAILURE(ExpectErrorBoxTextFits(SaveErrorText, "save-error"));
    ASSERT_TRUE(Tool().Click(CancelId));
    ASSERT_NO_FATAL_FAILURE(ExpectExitZero());
}

// The box of a start refused while the game runs: its long text is broken
// over lines and must fit too. A window of the runtime's class stands for
// the game.
TEST_F(AtScreenDpi, TheGameRunningBoxFitsItsText) {
    HWND game = CreatePlainWindow("D123987X", DefWindowProcA, WS_POPUP, 10, 10);
    ASSERT_NE(nullptr, game);
    ASSERT_NO_FATAL_FAILURE(Launch());
    ASSERT_NO_FATAL_FAILURE(ExpectErrorBoxTextFits(GameRunningText, "game-running"));
    ASSERT_NO_FATAL_FAILURE(ExpectExitZero());
    DestroyWindow(game);
    UnregisterClassA("D123987X", GetModuleHandleA(nullptr));
}

} // namespace
