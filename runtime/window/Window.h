// The runtime's window: its own, or the application's host window; the
// message processing, the window procedure, window mode and cursor display.
#pragma once

#include "runtime/state/WindowState.h"

#include <windows.h>

#include <cstdint>

// Window start-up (step of LibraryStartup) and teardown (step of the shutdown core).
int StartWindow();
int TeardownWindow();
void BringWindowToForeground(HWND window, int topmost);
// The contest between the multimedia timer and the performance counter that
// picks the microsecond source, a step of the window start-up. Runs only with
// a performance counter; keeps the window alive meanwhile.
void TimerPrecisionTest();

// What the window asks of the input and sound subsystems, which sit above it
// (they read the window's state and keep it alive in their waits): their
// turn in each tick, and the input devices taken back when the window is
// active again. The lifecycle fills it with their functions
// (runtime/system/WindowCalls.cpp).
struct SubsystemCalls {
    int (*soundTick)();
    int (*refreshKeyboardState)();
    int (*processPadVibration)();
    int (*reacquireInputDevices)();
    int (*refreshVibrationEffects)();
};
extern const SubsystemCalls WindowCalls;

// Message processing.
int MessageTick();
void WaitWhileInactive();

LRESULT CALLBACK RuntimeWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Window mode and cursor display.
int ChangeWindowStyle();
int UpdateWindowSize();
int SetMouseCursorDisplay(int value);
