#include "driver/WineSetting.h"

#include <windows.h>

namespace {

bool RunsOnWine() {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

bool WriteValue(HKEY key, const std::string& name, const std::string& value) {
    return RegSetValueExA(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          DWORD(value.size() + 1)) == ERROR_SUCCESS;
}

// The value as it is, or that there is none; false when it cannot be read
// back, and so could not be put back either.
bool ReadValue(HKEY key, const char* name, bool& exists, std::string& value) {
    char text[256];
    DWORD size = sizeof text - 1, type = 0;
    LONG read = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(text), &size);
    exists = read == ERROR_SUCCESS;
    if (!exists) return read == ERROR_FILE_NOT_FOUND;
    if (type != REG_SZ) return false;
    text[size] = '\0';
    value = text;
    return true;
}

} // namespace

WineSetting::WineSetting(const char* key, const char* name, const char* value) : key_(key), name_(name) {
    if (!RunsOnWine()) return;
    HKEY opened;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, key, 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, &opened, nullptr) !=
        ERROR_SUCCESS)
        return;
    if (ReadValue(opened, name, hadValue_, previous_)) ready_ = WriteValue(opened, name_, value);
    RegCloseKey(opened);
}

WineSetting::~WineSetting() {
    if (!ready_) return;
    HKEY opened;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, key_.c_str(), 0, KEY_WRITE, &opened) != ERROR_SUCCESS) return;
    if (hadValue_)
        WriteValue(opened, name_, previous_);
    else
        RegDeleteValueA(opened, name_.c_str());
    RegCloseKey(opened);
}
