#include "driver/SoundlessMachine.h"

#include <windows.h>

namespace {

constexpr char DriversKey[] = "Software\\Wine\\Drivers";
constexpr char AudioValue[] = "Audio";

bool RunsOnWine() {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

bool WriteAudio(HKEY key, const std::string& value) {
    return RegSetValueExA(key, AudioValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          DWORD(value.size() + 1)) == ERROR_SUCCESS;
}

} // namespace

SoundlessMachine::SoundlessMachine() {
    if (!RunsOnWine()) return;
    HKEY key;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, DriversKey, 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return;
    char value[256];
    DWORD size = sizeof value - 1, type = 0;
    hadValue_ =
        RegQueryValueExA(key, AudioValue, nullptr, &type, reinterpret_cast<BYTE*>(value), &size) == ERROR_SUCCESS &&
        type == REG_SZ;
    if (hadValue_) {
        value[size] = '\0';
        previous_ = value;
    }
    ready_ = WriteAudio(key, "");
    RegCloseKey(key);
}

SoundlessMachine::~SoundlessMachine() {
    if (!ready_) return;
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, DriversKey, 0, KEY_WRITE, &key) != ERROR_SUCCESS) return;
    if (hadValue_)
        WriteAudio(key, previous_);
    else
        RegDeleteValueA(key, AudioValue);
    RegCloseKey(key);
}
