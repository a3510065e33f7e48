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
#include "driver/Screenshot.h"
#include "support/PlainWindow.h"

#include <cstdlib>

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
            const TextFit fit = MeasureText(shot, dialog, control, font_);
            if (fit.text.empty()) continue;
            ASSERT_NO_FATAL_FAILURE(ExpectFits(fit, Utf8(ClassName(control) + L" " + fit.text)));
        }
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
