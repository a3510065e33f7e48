#include "app/WindowSubclass.h"

namespace {

using SetFunction = BOOL(WINAPI*)(HWND, SUBCLASSPROC, UINT_PTR, DWORD_PTR);
using DefaultFunction = LRESULT(WINAPI*)(HWND, UINT, WPARAM, LPARAM);
using RemoveFunction = BOOL(WINAPI*)(HWND, SUBCLASSPROC, UINT_PTR);

struct SubclassFunctions {
    SetFunction set = nullptr;
    DefaultFunction next = nullptr;
    RemoveFunction remove = nullptr;
};

template <typename Function> Function Lookup(HMODULE module, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// Loaded once and kept to the end of the process: a subclassed window calls
// into comctl32 for as long as it lives.
const SubclassFunctions& Functions() {
    static const SubclassFunctions functions = [] {
        SubclassFunctions found;
        HMODULE comctl32 = LoadLibraryW(L"comctl32.dll");
        if (comctl32 == nullptr) return found;
        found.set = Lookup<SetFunction>(comctl32, "SetWindowSubclass");
        found.next = Lookup<DefaultFunction>(comctl32, "DefSubclassProc");
        found.remove = Lookup<RemoveFunction>(comctl32, "RemoveWindowSubclass");
        // All three or none: a subclass that could not be called on or removed is never installed.
        if (!found.set || !found.next || !found.remove) found = SubclassFunctions{};
        return found;
    }();
    return functions;
}

} // namespace

bool InstallSubclass(HWND window, SUBCLASSPROC procedure, UINT_PTR id, DWORD_PTR data) {
    const SubclassFunctions& functions = Functions();
    return functions.set && functions.set(window, procedure, id, data);
}

LRESULT CallNextSubclass(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    // Only a procedure that InstallSubclass installed calls here, so the lookup has succeeded.
    return Functions().next(window, message, wParam, lParam);
}

bool RemoveSubclass(HWND window, SUBCLASSPROC procedure, UINT_PTR id) {
    const SubclassFunctions& functions = Functions();
    return functions.remove && functions.remove(window, procedure, id);
}
