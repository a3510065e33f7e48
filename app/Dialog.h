// A modal dialog as an object: one static dialog procedure hands every
// message to the object that the window carries in its user data.
//
// The tool's windows are Unicode whatever the system's ANSI code page: the
// tool's texts are Shift-JIS bytes, turned into UTF-16 with code page 932
// where they meet a window, so a player whose system runs another code page
// still reads Japanese.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

class CDialog {
public:
    virtual ~CDialog() {}
    virtual INT_PTR DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) = 0;
};

// The dialog in creation: it reaches its window at WM_INITDIALOG, since the
// dialog is created with a creation parameter of 0.
extern CDialog* pendingDialog;

INT_PTR CALLBACK StaticDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Runs dialog template 101 modally for the object, through the wide-character
// API; returns DialogBoxParamW's result.
INT_PTR ShowModal(CDialog* dialog, HINSTANCE instance);

// Shift-JIS text as UTF-16, converted with code page 932 on every system.
std::wstring WideFromShiftJis(const char* text);

// A window's text as UTF-16.
std::wstring WindowTextW(HWND window);
// A window's child windows, the controls of a dialog, in creation order.
std::vector<HWND> ChildWindows(HWND window);

// A window's text, set from Shift-JIS text.
void SetWindowShiftJisText(HWND window, const char* text);
// A message box with Shift-JIS text and title, drawn in a Japanese face
// where the system's fonts have no glyphs for them.
int ShowShiftJisMessageBox(HWND owner, const char* text, const char* title, UINT type);
