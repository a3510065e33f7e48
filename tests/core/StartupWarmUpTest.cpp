// The start-up's warm-up thread, which loads the input and sound libraries
// beside the processor clock estimate: it has ended before the input start
// and whenever a start-up returns, started or refused; and the libraries it
// loaded are given back, so that the process no longer holds them after a
// shutdown and the next start-up warms up again.
#include "runtime/Runtime.h"

#include "diag/DiagFixture.h"
#include "input/FakeDirectInput.h"
#include "runtime/input/Input.h"
#include "runtime/others/Subsystems.h"
#include "runtime/sound/Sound.h"
#include "runtime/system/StartupWarmUp.h"
#include "support/ChildScenario.h"
#include "support/DebugCapture.h"
#include "support/PlainWindow.h"
#include "support/TempDirectory.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr const char InputLibrary[] = "dinput.dll";
constexpr const char SoundLibrary[] = "dsound.dll";
constexpr const char RuntimeClassName[] = "D123987X";
// Only a broken start-up makes a test wait this long.
constexpr DWORD PatienceMs = 20000;

HWND CreateHostWindow() {
    return CreatePlainWindow("StartupWarmUpTestHost", DefWindowProcA, WS_POPUP, 300, 200);
}

// ---- The warm-up held at its first load ----------------------------------------------

// The warm-up thread's first load waits until the start-up waits for the
// thread: a start-up that goes on without waiting finds the thread still
// running, on every run. The input start lets it go as well, so that such a
// start-up is not held up further.
struct HeldWarmUp {
    std::atomic<HANDLE> thread{nullptr}; // the warm-up thread, opened at its first load
    HANDLE mayLoad = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    bool inputStarted = false;
    bool endedAtInputStart = false;

    ~HeldWarmUp() {
        SetEvent(mayLoad);
        if (thread != nullptr) {
            WaitForSingleObject(thread, PatienceMs);
            CloseHandle(thread);
        }
        CloseHandle(mayLoad);
    }
    bool Ended() const { return thread != nullptr && WaitForSingleObject(thread, 0) == WAIT_OBJECT_0; }
};

HeldWarmUp* Held = nullptr;

HMODULE WINAPI LoadLibraryOnceAllowed(LPCSTR name) {
    if (Held->thread == nullptr) Held->thread = OpenThread(SYNCHRONIZE, FALSE, GetCurrentThreadId());
    WaitForSingleObject(Held->mayLoad, PatienceMs);
    return LoadLibraryA(name);
}

DWORD WINAPI WaitAllowingTheLoads(HANDLE thread, DWORD milliseconds) {
    SetEvent(Held->mayLoad);
    return WaitForSingleObject(thread, milliseconds);
}

const StartupWarmUpCalls HeldWarmUpCalls = {LoadLibraryOnceAllowed, WaitAllowingTheLoads};

HRESULT CreateDirectInputSeeingTheWarmUp(REFCLSID clsid, REFIID iid, void** object) {
    Held->inputStarted = true;
    Held->endedAtInputStart = Held->Ended();
    SetEvent(Held->mayLoad);
    return FakeDirectInputSystem::Create(clsid, iid, object);
}

// A window of the runtime's class made by someone else: the start-up
// refuses while it exists.
class RuntimeWindowBlocker {
public:
    RuntimeWindowBlocker() : window_(CreatePlainWindow(RuntimeClassName, DefWindowProcA, WS_POPUP, 10, 10)) {}
    ~RuntimeWindowBlocker() {
        if (window_ != nullptr) DestroyWindow(window_);
        UnregisterClassA(RuntimeClassName, GetModuleHandleA(nullptr));
    }
    RuntimeWindowBlocker(const RuntimeWindowBlocker&) = delete;
    RuntimeWindowBlocker& operator=(const RuntimeWindowBlocker&) = delete;

private:
    HWND window_;
};

enum class Refusal { None, DoubleStart, Keyboard };

struct WarmUpCase {
    const char* name;
    Refusal refusal;
    int result;
    bool inputStarts;
};

const WarmUpCase WarmUpCases[] = {
    {"a start", Refusal::None, 0, true},
    {"a start refused by the window start-up", Refusal::DoubleStart, -1, false},
    {"a start refused by the input start", Refusal::Keyboard, -1, true},
};

// Each test starts the runtime on a host window, in a temporary start-up
// directory, with the DirectInput double, and leaves it shut down.
class StartupWarmUpTest : public testing::Test {
protected:
    StartupWarmUpTest() : graphics_(Graphics), directory_(TempDirectory::Enter::Yes) {}
    void SetUp() override {
        host_ = CreateHostWindow();
        ASSERT_NE(nullptr, host_);
        savedCreate_ = CreateDirectInputObject;
        savedUnavailable_ = Input.DirectInputUnavailable;
        savedCalls_ = WarmUpCalls;
        CreateDirectInputObject = CreateDirectInputSeeingTheWarmUp;
        // An earlier start on this machine may have found no DirectInput.
        Input.DirectInputUnavailable = 0;
        WarmUpCalls = &HeldWarmUpCalls;
        SetLogOutput(0);
    }
    void TearDown() override {
        LibraryShutdown();
        WarmUpCalls = savedCalls_;
        CreateDirectInputObject = savedCreate_;
        Input.DirectInputUnavailable = savedUnavailable_;
        ActiveFakeSystem() = nullptr;
        if (host_ != nullptr) DestroyWindow(host_);
        Graphics = graphics_;
    }

    int StartOnHost() {
        SetDrawingDisabled(1);
        if (SetHostWindow(host_) != 0) return -2;
        return LibraryStartup();
    }

    GraphicsState graphics_;
    DiagStateGuard guard_;
    TempDirectory directory_;
    HWND host_ = nullptr;
    DirectInputCreateFunction savedCreate_ = nullptr;
    int32_t savedUnavailable_ = 0;
    const StartupWarmUpCalls* savedCalls_ = nullptr;
};

} // namespace

TEST_F(StartupWarmUpTest, TheThreadHasEndedBeforeTheInputStartsAndWhenTheStartUpReturns) {
    for (const WarmUpCase& c : WarmUpCases) {
        SCOPED_TRACE(c.name);
        HeldWarmUp held;
        Held = &held;
        FakeDirectInputSystem system;
        if (c.refusal == Refusal::Keyboard) system.keyboard->Fail(DeviceCall::SetEventNotification, DIERR_GENERIC, 1);
        ActiveFakeSystem() = &system;
        {
            RuntimeWindowBlocker* blocker = c.refusal == Refusal::DoubleStart ? new RuntimeWindowBlocker : nullptr;
            EXPECT_EQ(c.result, StartOnHost());
            delete blocker;
        }
        bool endedOnReturn = held.Ended();
        EXPECT_EQ(c.inputStarts, held.inputStarted);
        if (held.thread == nullptr) {
            ADD_FAILURE() << "the start-up did not warm up";
        } else {
            EXPECT_TRUE(endedOnReturn) << "the warm-up thread still ran when the start-up returned";
            if (c.inputStarts) {
                EXPECT_TRUE(held.endedAtInputStart) << "the warm-up thread still ran at the input start";
            }
        }
        LibraryShutdown();
        ActiveFakeSystem() = nullptr;
        Held = nullptr;
    }
}

// ---- The libraries, watched in a process of their own ------------------------------

namespace {

// No sound device: the sound start-up loads nothing, so that the warm-up is
// the only one to load the sound library.
HRESULT NoSoundDevice(IDirectSound** device) {
    *device = nullptr;
    return DSERR_NODRIVER;
}
HMODULE NoLibrary(const char*) {
    return nullptr;
}
FARPROC NoExport(HMODULE, const char*) {
    return nullptr;
}
BOOL NothingToFree(HMODULE) {
    return FALSE;
}
const SoundPlatform NoSoundPlatform = {NoSoundDevice, NoLibrary, NoExport, NothingToFree};

bool Loaded(const char* library) {
    return GetModuleHandleA(library) != nullptr;
}

// Whether the process lets go of a library once it frees what it loaded. A
// library may keep itself loaded (Wine's sound library does): the process
// then holds it by more than the warm-up, and nothing is to be seen of the
// warm-up's own hold.
bool LetsGo(const char* library) {
    HMODULE module = LoadLibraryA(library);
    if (module == nullptr) return false;
    FreeLibrary(module);
    return !Loaded(library);
}

// What the scenario finds wrong goes to the debugger output, each text
// starting with this.
constexpr const char Finding[] = "warm-up finding: ";

void Report(const std::string& what) {
    OutputDebugStringA((Finding + what).c_str());
}

std::vector<const char*> Watched; // the libraries the process holds only through the warm-up
bool AllWatchedLoadedAtInputStart = false;

bool AllWatchedLoaded() {
    for (const char* library : Watched)
        if (!Loaded(library)) return false;
    return true;
}

void ExpectNoneLoaded(const char* when) {
    for (const char* library : Watched)
        if (Loaded(library)) Report(std::string(library) + " still loaded " + when);
}

HRESULT CreateDirectInputSeeingTheLibraries(REFCLSID clsid, REFIID iid, void** object) {
    AllWatchedLoadedAtInputStart = AllWatchedLoaded();
    return FakeDirectInputSystem::Create(clsid, iid, object);
}

} // namespace

// The input double and no sound device: the process holds the input and
// sound libraries only through the warm-up. A start-up refused by the input
// start, then two starts and shutdowns.
CHILD_SCENARIO(WarmUpLibrariesGiveBack) {
    for (const char* library : {InputLibrary, SoundLibrary}) {
        if (Loaded(library)) Report(std::string(library) + " loaded before any start-up");
        else if (LetsGo(library)) Watched.push_back(library);
    }
    if (Watched.empty()) Report("no library to watch: each keeps itself loaded");
    FakeDirectInputSystem system;
    ActiveFakeSystem() = &system;
    CreateDirectInputObject = CreateDirectInputSeeingTheLibraries;
    CurrentSoundPlatform = &NoSoundPlatform;
    HWND host = CreateHostWindow();
    SetDrawingDisabled(1);
    SetLogOutput(0);

    system.keyboard->Fail(DeviceCall::SetEventNotification, DIERR_GENERIC, 1);
    SetHostWindow(host);
    if (LibraryStartup() != -1) Report("the start-up was not refused");
    ExpectNoneLoaded("after the refused start-up");

    const char* const starts[] = {"the first start-up", "the second start-up"};
    for (const char* start : starts) {
        AllWatchedLoadedAtInputStart = false;
        SetHostWindow(host);
        if (LibraryStartup() != 0) Report(std::string(start) + " failed");
        if (!AllWatchedLoadedAtInputStart)
            Report(std::string(start) + " did not warm up: the libraries were not loaded at its input start");
        LibraryShutdown();
        ExpectNoneLoaded((std::string("after the shutdown of ") + start).c_str());
    }
    DestroyWindow(host);
    return 0;
}

TEST(StartupWarmUpLibrariesTest, AreGivenBackAfterEveryStartUpSoTheNextOneWarmsUpAgain) {
    DebugCaptureResult result = RunChildScenarioUnderDebugger("WarmUpLibrariesGiveBack");
    ASSERT_TRUE(result.finished) << "the scenario did not end";
    EXPECT_EQ(0, result.exitCode);
    std::string findings;
    for (const std::string& text : result.texts)
        if (text.compare(0, std::strlen(Finding), Finding) == 0) findings += text.substr(std::strlen(Finding)) + "\n";
    EXPECT_EQ("", findings);
}
