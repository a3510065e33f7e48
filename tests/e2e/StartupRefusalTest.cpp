// The tool when its runtime refuses to start: a window of the runtime's
// class already stands, as another program on the same runtime would have.
#include "E2EFixture.h"
#include "support/PlainWindow.h"

namespace {

constexpr char RuntimeWindowClass[] = "D123987X";

// A top-level window of the runtime's class, made by this test process.
class RuntimeClassWindow {
public:
    RuntimeClassWindow() {
        window_ = CreatePlainWindow(RuntimeWindowClass, DefWindowProcA, WS_POPUP, 10, 10);
    }
    ~RuntimeClassWindow() {
        if (window_ != nullptr) DestroyWindow(window_);
        UnregisterClassA(RuntimeWindowClass, GetModuleHandleA(nullptr));
    }
    RuntimeClassWindow(const RuntimeClassWindow&) = delete;
    RuntimeClassWindow& operator=(const RuntimeClassWindow&) = delete;
    bool Valid() const { return window_ != nullptr; }

private:
    HWND window_ = nullptr;
};

// The dialog never shows: a box says that the game is running and to close
// it first; once it is dismissed the tool ends with exit code 0 and the save
// file is as it was.
TEST_F(KeyConfigEndToEnd, RefusedRuntimeSaysTheGameIsRunning) {
    const std::string original = EncodeSave(SampleSave(DefaultMasks));
    PutSaveFile(original);
    RuntimeClassWindow blocker;
    ASSERT_TRUE(blocker.Valid());
    ASSERT_NO_FATAL_FAILURE(Launch());
    ASSERT_NO_FATAL_FAILURE(DismissErrorBox(GameRunningText));
    ASSERT_NO_FATAL_FAILURE(ExpectExitZero());
    EXPECT_EQ(original, SaveFileBytes());
    EXPECT_EQ(std::vector<std::string>{"saves.qvr"}, FolderFiles());
}

} // namespace
