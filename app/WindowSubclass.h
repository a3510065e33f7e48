// comctl32's window subclass chain, reached through functions looked up the
// first time a window is subclassed.
//
// The tool subclasses windows only where the system's fonts lack Japanese
// (the caption, the message box). Linking comctl32 would load it with the
// program, and a loading comctl32 registers its window classes and, under
// Wine, loads the theme: a cost every start-up paid before the dialog showed,
// for functions most players never call.
#pragma once

#include <windows.h>

#include <commctrl.h>

// SetWindowSubclass; false also when comctl32 or the function cannot be had,
// and the window is then left as it is.
bool InstallSubclass(HWND window, SUBCLASSPROC procedure, UINT_PTR id, DWORD_PTR data);
// DefSubclassProc, for a subclass procedure that InstallSubclass installed.
LRESULT CallNextSubclass(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// RemoveWindowSubclass.
bool RemoveSubclass(HWND window, SUBCLASSPROC procedure, UINT_PTR id);
