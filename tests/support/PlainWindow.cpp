#include "support/PlainWindow.h"

HWND CreatePlainWindow(const char* className, WNDPROC procedure, DWORD style, int width, int height,
                       const char* title) {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = className;
    RegisterClassA(&windowClass);
    return CreateWindowExA(0, className, title, style, 0, 0, width, height, nullptr, nullptr, windowClass.hInstance,
                           nullptr);
}
