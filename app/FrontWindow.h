// Another process's window brought to the front: the one the player answers,
// which is the dialog or, while it shows one, its box.
#pragma once

#include <windows.h>

// The process's visible top-level window that takes input, first in the
// order on screen: a box stands above the dialog that owns it (and the
// dialog is disabled meanwhile). Tool windows, such as tooltips, are
// passed over. Null while the process shows no such window.
HWND PlayerWindowOf(DWORD processId);

// Restores the window's top-level owner where it is minimised and makes the
// window the foreground window. Windows lets a process do that while it is
// the foreground process or was started by it (a copy just started from
// Explorer is), and otherwise flashes the window's taskbar button instead.
void BringToFront(HWND window);
