// The pause of a save waiting for a program that holds the file: the
// dialog's windows keep answering what is sent to them, and nothing posted
// to the dialog runs in the middle of the save.
#include "app/AnsweringPause.h"
#include "support/PlainWindow.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <thread>

namespace {

constexpr UINT SentMessage = WM_APP + 1;
constexpr UINT PostedMessage = WM_APP + 2;

int SentSeen, PostedSeen;

LRESULT CALLBACK CountingProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == SentMessage) return ++SentSeen;
    if (message == PostedMessage) return ++PostedSeen;
    return DefWindowProcA(window, message, wParam, lParam);
}

TEST(AnsweringPause, AnswersSentMessagesAndLeavesPostedOnesQueued) {
    SentSeen = PostedSeen = 0;
    HWND window = CreatePlainWindow("AnsweringPauseTest", CountingProcedure, WS_OVERLAPPED, 100, 100);
    ASSERT_NE(nullptr, window);
    ASSERT_TRUE(PostMessageA(window, PostedMessage, 0, 0));
    LRESULT answer = 0;
    std::thread sender([&] { answer = SendMessageA(window, SentMessage, 0, 0); });
    // The sent message waits in the queue before the pause begins, so a pause
    // that answers nothing leaves it unanswered however the threads run.
    while (!(HIWORD(GetQueueStatus(QS_SENDMESSAGE)) & QS_SENDMESSAGE)) Sleep(1);
    PauseAnsweringMessages(20);
    EXPECT_EQ(1, SentSeen);
    EXPECT_EQ(0, PostedSeen);
    MSG message;
    EXPECT_TRUE(PeekMessageA(&message, window, PostedMessage, PostedMessage, PM_REMOVE));
    // Unblocks the sender when the pause failed to.
    while (SentSeen == 0) PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE);
    sender.join();
    EXPECT_EQ(1, answer);
    DestroyWindow(window);
}

// A message sent while the pause already waits wakes it and is answered
// there, not only when the wait runs out: the sender (a program
// broadcasting a setting change) is held no longer than it takes to answer.
// The message comes early in a long pause; a pause that answered it only at
// its end would answer it a whole wait later.
TEST(AnsweringPause, AnswersAMessageSentWhileItWaits) {
    SentSeen = PostedSeen = 0;
    HWND window = CreatePlainWindow("AnsweringPauseTest", CountingProcedure, WS_OVERLAPPED, 100, 100);
    ASSERT_NE(nullptr, window);
    constexpr DWORD PauseMilliseconds = 3000;
    HANDLE pausing = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    DWORD answeredAfter = 0;
    const DWORD start = GetTickCount();
    std::thread sender([&] {
        WaitForSingleObject(pausing, INFINITE);
        Sleep(100); // the pause is in its wait by now
        SendMessageA(window, SentMessage, 0, 0);
        answeredAfter = GetTickCount() - start;
    });
    SetEvent(pausing);
    PauseAnsweringMessages(PauseMilliseconds);
    // Unblocks the sender when the pause failed to.
    MSG message;
    while (SentSeen == 0) PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE);
    sender.join();
    EXPECT_EQ(1, SentSeen);
    EXPECT_LT(answeredAfter, PauseMilliseconds / 2) << "answered only once the wait ran out";
    CloseHandle(pausing);
    DestroyWindow(window);
}

} // namespace
