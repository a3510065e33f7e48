#include "driver/JoypadPlayer.h"

namespace {

std::string ServerKeyName(const std::string& classId) {
    return "CLSID\\" + classId + "\\InprocServer32";
}

bool ReadDefaultValue(HKEY key, std::string& value) {
    char buffer[MAX_PATH * 2];
    DWORD size = sizeof buffer, type = 0;
    if (RegQueryValueExA(key, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) != ERROR_SUCCESS)
        return false;
    if (type != REG_SZ && type != REG_EXPAND_SZ) return false;
    value.assign(buffer, size && buffer[size - 1] == '\0' ? size - 1 : size);
    return true;
}

bool WriteString(HKEY key, const char* name, const std::string& value) {
    return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          DWORD(value.size() + 1)) == ERROR_SUCCESS;
}

} // namespace

std::string ProgramFolder() {
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    std::string folder(path, length);
    size_t slash = folder.find_last_of("\\/");
    return slash == std::string::npos ? "." : folder.substr(0, slash);
}

JoypadServerRegistration::JoypadServerRegistration(const std::string& dllPath) {
    const char* classIds[2] = {VirtualJoypadDirectInput7ClassId, VirtualJoypadDirectInput8ClassId};
    registered_ = true;
    for (int i = 0; i < 2; ++i) {
        previous_[i].classId = classIds[i];
        HKEY key;
        if (RegCreateKeyExA(HKEY_CLASSES_ROOT, ServerKeyName(classIds[i]).c_str(), 0, nullptr, 0,
                            KEY_READ | KEY_WRITE, nullptr, &key, nullptr) != ERROR_SUCCESS) {
            registered_ = false;
            continue;
        }
        previous_[i].hadValue = ReadDefaultValue(key, previous_[i].value);
        // The platform's own servers are free-threaded too ("Both").
        registered_ = WriteString(key, nullptr, dllPath) && WriteString(key, "ThreadingModel", "Both") && registered_;
        RegCloseKey(key);
    }
}

JoypadServerRegistration::~JoypadServerRegistration() {
    for (const Previous& previous : previous_) {
        if (previous.classId.empty()) continue;
        HKEY key;
        if (RegOpenKeyExA(HKEY_CLASSES_ROOT, ServerKeyName(previous.classId).c_str(), 0, KEY_WRITE, &key) !=
            ERROR_SUCCESS)
            continue;
        if (previous.hadValue)
            WriteString(key, nullptr, previous.value);
        else
            RegDeleteValueA(key, nullptr);
        RegCloseKey(key);
    }
}

JoypadPlayer::JoypadPlayer() {
    block_ = OpenVirtualJoypadBlock(mapping_);
    if (block_) ReleaseAll();
}

JoypadPlayer::~JoypadPlayer() {
    CloseVirtualJoypadBlock(block_, mapping_);
}

LONG JoypadPlayer::Hold(std::initializer_list<int> buttons, LONG x, LONG y) {
    DIJOYSTATE state;
    ZeroMemory(&state, sizeof state);
    state.lX = x;
    state.lY = y;
    // A centred hat reads as all bits set; the program must not see it as a direction.
    for (DWORD& pov : state.rgdwPOV) pov = 0xFFFFFFFF;
    for (int button : buttons)
        if (button >= 1 && button <= VirtualJoypadButtonCount) state.rgbButtons[button - 1] = 0x80;
    return WriteVirtualJoypadState(block_, state);
}

bool JoypadPlayer::WaitHandled(LONG sequence, DWORD timeoutMs) const {
    DWORD start = GetTickCount();
    if (!WaitUntil([&] { return block_->readSequence - sequence >= 0; }, timeoutMs)) return false;
    DWORD used = GetTickCount() - start;
    return WaitReads(1, used < timeoutMs ? timeoutMs - used : 0);
}

bool JoypadPlayer::WaitReads(LONG ticks, DWORD timeoutMs) const {
    LONG seen = block_->readCount;
    return WaitUntil([&] { return block_->readCount - seen >= ticks; }, timeoutMs);
}

bool JoypadPlayer::WaitInUse(DWORD timeoutMs) const {
    if (!WaitUntil([&] { return block_->acquired > 0 && block_->readCount > 0; }, timeoutMs)) return false;
    return WaitReads(1, timeoutMs);
}

void JoypadPlayer::ResetDeviceCounts() {
    InterlockedExchange(&block_->devicesOpen, 0);
    InterlockedExchange(&block_->acquired, 0);
}

bool JoypadPlayer::Press(int button) {
    return WaitHandled(Hold({button})) && WaitHandled(ReleaseAll());
}

void JoypadPlayer::Detach() {
    InterlockedExchange(&block_->detached, 1);
}

void JoypadPlayer::Attach() {
    if (block_->detached == 0) return;
    // The new attachment first: no device made before it may come back to life.
    InterlockedIncrement(&block_->attachments);
    InterlockedExchange(&block_->detached, 0);
}

void JoypadPlayer::NameProduct(const std::wstring& name) {
    lstrcpynW(block_->productName, name.c_str(), MAX_PATH);
    MemoryBarrier();
}

bool JoypadPlayer::WaitEnumerations(LONG count, DWORD timeoutMs) const {
    return WaitUntil([&] { return block_->enumerations - count >= 0; }, timeoutMs);
}

bool JoypadPlayer::WaitFailedReads(LONG reads, DWORD timeoutMs) const {
    LONG seen = block_->failedReads;
    return WaitUntil([&] { return block_->failedReads - seen >= reads; }, timeoutMs);
}

bool JoypadPlayer::WaitNoDevice(DWORD timeoutMs) const {
    return WaitUntil([&] { return block_->devicesOpen == 0; }, timeoutMs);
}
