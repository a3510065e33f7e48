// A top-level window of a class the test registers itself, for tests that
// need a host window, a window that answers messages, or a window of a given
// class name.
#pragma once

#include <windows.h>

// Registers the class (once per program; a second registration of the same
// name is harmless) with the given procedure and makes a window of it at
// (0, 0). Null when the window cannot be made.
HWND CreatePlainWindow(const char* className, WNDPROC procedure, DWORD style, int width, int height,
                       const char* title = "");
