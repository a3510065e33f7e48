// The runtime's lifecycle: the pre-start settings, the start-up sequence, the
// per-tick entry, the shutdown core and the fatal stop.
//
// Start-up and shutdown mirror each other: the subsystems come up as
// files and log, environment, COM, window, input, sound, graphics, text
// buffers, and go down in the reverse order of their dependencies: graphics,
// input, sound, window, COM, then the working directory and the log's last
// word, the allocation dump.
#include "runtime/system/Lifecycle.h"

#include "runtime/Runtime.h"
#include "runtime/core/ApiLock.h"
#include "runtime/core/Clock.h"
#include "runtime/core/Environment.h"
#include "runtime/diag/Format.h"
#include "runtime/diag/Log.h"
#include "runtime/diag/TrackedAlloc.h"
#include "runtime/input/Input.h"
#include "runtime/others/Subsystems.h"
#include "runtime/sound/Sound.h"
#include "runtime/system/StartupWarmUp.h"
#include "runtime/window/Window.h"

#include <windows.h>
#include <objbase.h>

LifecycleState Lifecycle;

namespace {

constexpr int DefaultScreenWidth = 640;
constexpr int DefaultScreenHeight = 480;
constexpr int EmulatedScreenWidth = 320;
constexpr int EmulatedScreenHeight = 240;
constexpr int HostScreenColourBits = 32;
constexpr int HostScreenRefreshRate = 60;

// ---- Start-up pieces ----------------------------------------------------------

// Full screen needs a display mode of the graphics size; without one the
// runtime falls back to a window. 320 x 240 is served by doubling into
// 640 x 480, so it needs no mode of its own.
void AdjustFullScreenMode() {
    if (Window.WindowModeFlag != 0) return;
    int width = Graphics.ScreenWidth > 0 ? Graphics.ScreenWidth : DefaultScreenWidth;
    int height = Graphics.ScreenHeight > 0 ? Graphics.ScreenHeight : DefaultScreenHeight;
    bool emulated = width == EmulatedScreenWidth && height == EmulatedScreenHeight;
    if (!emulated && !DisplayModeExists(width, height)) ChangeWindowMode(1);
    if (!emulated || Window.WindowModeFlag != 0) return;
    Graphics.Emulate320x240 = 1;
    Graphics.ScreenWidth = DefaultScreenWidth;
    Graphics.ScreenHeight = DefaultScreenHeight;
}

void PrepareFilesAndLog() {
    AdjustFullScreenMode();
    PrecomputeColourTables();
    ReleaseUnreferencedArchives();
    SelectDefaultFileTable();
    CurrentFileTable->getCurrentDirectory(Lifecycle.StartupDirectory, StartupDirectorySize);
    StartLog();
}

int ReadDesktopColourDepth() {
    HDC screen = GetDC(nullptr);
    int depth = GetDeviceCaps(screen, PLANES) * GetDeviceCaps(screen, BITSPIXEL);
    ReleaseDC(nullptr, screen);
    return depth;
}

bool DesktopRefused() {
    if (!RefusesColourDepth(ReadDesktopColourDepth(), Window.WindowModeFlag, Graphics.ScreenColourBits)) return false;
    LogWrite("ＫＯＴＯライブラリは２４ビットカラーモードに対応していません\n");
    return true;
}

// A failed COM start is not fatal: only DirectX components need it, and
// each of them reports its own absence.
void StartCom() {
    if (Lifecycle.ComInitialised != 0) return;
    LogWrite("ＣＯＭの初期化... ");
    if (FAILED(CoInitialize(nullptr))) {
        LogWrite("ＣＯＭの初期化に失敗しました\n");
        return;
    }
    LogWrite("成功しました\n");
    Lifecycle.ComInitialised = 1;
}

void EndCom() {
    if (Lifecycle.ComInitialised != 1) return;
    CoUninitialize();
    LogWrite("ＣＯＭを終了... 完了\n");
    Lifecycle.ComInitialised = 0;
}

// The clocks and the machine's description, then COM. The description
// includes the processor clock estimate's busy wait, during which the
// libraries of the input and sound start-ups are loaded beside it.
void PrepareEnvironment() {
    ProbePerformanceCounter();
    BeginStartupWarmUp();
    ReportEnvironment();
    EndStartupWarmUp();
    InstallStreamTables();
    // The graphics drawing callback is reset here; this build draws nothing.
    StartCom();
}

int StartSubsystems() {
    StartProgress& progress = Lifecycle.StartupProgress;
    if (StartWindow() != 0) return -1;
    progress.windowStarted = true;
    progress.inputReached = true;
    int64_t stepStarted = ReadPerformanceCounter();
    int input = StartInput();
    StartupSteps.inputSeconds = SecondsSinceCounter(stepStarted);
    if (input != 0) return -1;
    progress.soundReached = true;
    stepStarted = ReadPerformanceCounter();
    StartSoundDevice(); // a machine without sound still runs
    StartupSteps.soundSeconds = SecondsSinceCounter(stepStarted);
    if (Lifecycle.DrawingDisabled == 1) return 0;
    progress.graphicsReached = true;
    return StartGraphics() < 0 ? -1 : 0;
}

// The last start-up steps. The log display, the two graphics set-up calls and the
// lookup table belong to a screen that this build never has.
void FinishStartup() {
    if (Window.WindowModeFlag == 0 && Window.HostWindowMode == 0) BringWindowToForeground(Window.MainWindowHandle, 1);
}

// A failed start-up never sets LibraryStarted, so the shutdown core would
// leave everything it brought up in place: COM, the raised timer resolution,
// the window (with the screen saver switched off) and the input devices. It
// takes them back here, in the shutdown's order, so that a retry starts from
// a clean machine. A refused window start-up has already undone its own part
// (screen saver, class) and never read the host window's procedure, so the
// host window is left untouched and stays adopted for a retry; only a window
// that did start is torn down, and only then is a recorded procedure written
// back.
void ReleaseStartup() {
    const StartProgress progress = Lifecycle.StartupProgress;
    Lifecycle.StartupProgress = StartProgress{};
    if (progress.graphicsReached) EndGraphics();
    if (progress.inputReached) StopInput();
    if (progress.soundReached) StopSoundDevice();
    if (progress.windowStarted) TeardownWindow();
    RestoreTimerResolution();
    EndCom();
    Lifecycle.LibraryStarting = 0;
}

int FailStartup(int reason) {
    ReleaseStartup();
    Lifecycle.StartupRefusalReason = reason;
    return -1;
}

int RunStartupSequence() {
    if (Lifecycle.LibraryStarted == 1) return 0;
    Lifecycle.LibraryStarting = 1;
    Lifecycle.StartupProgress = StartProgress{};
    PrepareFilesAndLog();
    if (DesktopRefused()) return FailStartup(StartupRefusedOther);
    PrepareEnvironment();
    int started = StartSubsystems();
    // The subsystems hold their own libraries now.
    ReleaseStartupWarmUp();
    // The window start-up that found another copy running has set its flag
    // anew; any other step's refusal leaves it clear.
    if (started != 0)
        return FailStartup(Window.AnotherInstanceFound == 1 ? StartupRefusedAnotherProgramRuns : StartupRefusedOther);
    InitCharacterCodeBuffers();
    Lifecycle.LibraryStarted = 1;
    Lifecycle.StartupProgress = StartProgress{};
    FinishStartup();
    Lifecycle.LibraryStarting = 0;
    return 0;
}

// A fatal stop while the start-up runs (the input start ends the process
// when it cannot have the keyboard or the mouse) comes before LibraryStarted
// is set.
bool StartupUnderWay() {
    return Lifecycle.LibraryStarting == 1 && Lifecycle.LibraryStarted == 0;
}

// ---- Shutdown pieces ----------------------------------------------------------

void ReleaseLogDisplay() {
    Graphics.LogDisplayPrepared = 0;
}

// Mirror of StartSubsystems: graphics, input, sound, window.
void StopSubsystems() {
    EndNetwork();
    StopMusic();
    EndGraphics();
    StopInput();
    StopSoundDevice();
    TeardownWindow();
}

// Lets the window's last messages through; in host-window mode the teardown
// has already asked to quit, so exactly one tick runs.
void DrainMessages() {
    while (MessageTick() == 0 && Window.QuitRequested != 1 && Window.WindowDestroyed != 1) {
    }
}

void RestoreStartupDirectory() {
    if (Lifecycle.StartupDirectory[0] == '\0') return;
    CurrentFileTable->setCurrentDirectory(Lifecycle.StartupDirectory);
}

// What a fatal stop gives back. The shutdown core does nothing before
// LibraryStarted is set; without the release the process would end with the
// start-up's hold on the machine, the screen saver off for the rest of the
// user's session.
void ReleaseForFatalStop() {
    if (StartupUnderWay())
        ReleaseStartup();
    else
        RunShutdownCore();
}

} // namespace

// ---- Settings -------------------------------------------------------------------

int SetDrawingDisabled(int disabled) {
    Lifecycle.DrawingDisabled = disabled;
    return 0;
}

int SetHostWindow(HWND window) {
    if (Lifecycle.LibraryStarted == 1 || window == nullptr) return -1;
    Window.MainWindowHandle = window;
    Window.HostWindowMode = 1;
    ChangeWindowMode(1);
    RECT client;
    // A zero-sized client area is refused by ConfigureScreen, which keeps the previous mode.
    if (GetClientRect(window, &client))
        ConfigureScreen(client.right - client.left, client.bottom - client.top, HostScreenColourBits,
                        HostScreenRefreshRate);
    return 0;
}

// ---- Entry points -----------------------------------------------------------------

int LibraryStartup() {
    if (Lifecycle.LibraryStarted == 1) return 0;
    // Before the first start-up there is nothing for a fatal stop to give back.
    FatalStopRelease = ReleaseForFatalStop;
    int64_t lockStarted = ReadPerformanceCounter();
    EnterApiLock();
    StartupSteps.apiLockSeconds = SecondsSinceCounter(lockStarted);
    Lifecycle.StartupRefusalReason = StartupNotRefused;
    int result = RunStartupSequence();
    LeaveApiLock();
    return result;
}

int StartupRefusal() {
    return Lifecycle.StartupRefusalReason;
}

int PumpMessages() {
    EnterApiLock();
    int result = MessageTick();
    LeaveApiLock();
    return result;
}

int LibraryShutdown() {
    if (Lifecycle.LibraryStarted == 0) return 0;
    EnterApiLock();
    int result = RunShutdownCore();
    LeaveApiLock();
    DestroyApiLock();
    return result;
}

int RunShutdownCore() {
    if (Lifecycle.LibraryStarted == 0) return 0;
    Lifecycle.ShutdownInProgress = 1;
    ReleaseLogDisplay();
    StopSubsystems();
    EndCom();
    // The graphics subsystem's software images would be deleted here; this build makes none.
    Lifecycle.LibraryStarted = 0;
    DrainMessages();
    RestoreStartupDirectory();
    ReleaseUnreferencedArchives();
    DumpAllocations();
    return 0;
}

