// A modal dialog as an object: one static dialog procedure hands every
// message to the object that the window carries in its user data.
#pragma once

#include <windows.h>

class CDialog {
public:
    virtual ~CDialog() {}
    virtual INT_PTR DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) = 0;
};

// The dialog in creation: it reaches its window at WM_INITDIALOG, since the
// dialog is created with a creation parameter of 0.
extern CDialog* pendingDialog;

INT_PTR CALLBACK StaticDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Runs dialog template 101 modally for the object; returns DialogBoxParamA's result.
INT_PTR ShowModal(CDialog* dialog, HINSTANCE instance);
