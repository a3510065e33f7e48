#include "runtime/others/Subsystems.h"

#include "runtime/diag/Log.h"
#include "runtime/state/WindowState.h"

#include <cstring>

// ---- Files ------------------------------------------------------------------

namespace {

int PlainGetCurrentDirectory(char* buffer, int size) {
    DWORD length = GetCurrentDirectoryA(DWORD(size), buffer);
    return length == 0 || length >= DWORD(size) ? -1 : 0;
}

int PlainSetCurrentDirectory(const char* path) {
    return SetCurrentDirectoryA(path) ? 0 : -1;
}

const FileTable PlainFileTable = {PlainGetCurrentDirectory, PlainSetCurrentDirectory};

} // namespace

const FileTable* CurrentFileTable = &PlainFileTable;

void SelectDefaultFileTable() {
    CurrentFileTable = &PlainFileTable;
}

void InstallStreamTables() {
    // Streams over files and memory blocks: nothing in this build reads them.
}

// ---- Graphics ---------------------------------------------------------------

GraphicsState Graphics = {640, 480, 16, 60, 0, 0, 0};

int ConfigureScreen(int width, int height, int colourBits, int refreshRate) {
    if (width <= 0 || height <= 0) return -1;
    Graphics.ScreenWidth = width;
    Graphics.ScreenHeight = height;
    Graphics.ScreenColourBits = colourBits;
    Graphics.ScreenRefreshRate = refreshRate;
    return 0;
}

bool DisplayModeExists(int width, int height) {
    DEVMODEA mode;
    std::memset(&mode, 0, sizeof mode);
    mode.dmSize = sizeof mode;
    for (DWORD i = 0; EnumDisplaySettingsA(nullptr, i, &mode); ++i) {
        if (int(mode.dmPelsWidth) == width && int(mode.dmPelsHeight) == height) return true;
    }
    return false;
}

int StartGraphics() {
    return 0;
}

int RecreateScreen() {
    return 0;
}

void EndGraphics() {}

bool GraphicsHasScreen() {
    return false;
}

bool GraphicsHasDevice() {
    return false;
}

bool ScreenRestoreFunctionRegistered() {
    return false;
}

bool DialogsAllowedOverFullScreen() {
    return false;
}

// ---- Text input ---------------------------------------------------------------

TextInputState TextInput;

bool InputCharQueueFull() {
    return TextInput.queueCount >= InputCharQueueSize;
}

bool QueueInputChar(uint8_t character) {
    if (InputCharQueueFull()) return false;
    TextInput.queue[TextInput.queueCount++] = character;
    return true;
}

int TakeInputChar() {
    if (TextInput.queueCount == 0) return -1;
    int character = TextInput.queue[0];
    std::memmove(TextInput.queue, TextInput.queue + 1, size_t(--TextInput.queueCount));
    return character;
}

int CharIndexToBytePosition(const char* text, int index) {
    int position = 0;
    for (int i = 0; i < index && text[position] != '\0'; ++i) {
        bool doubleByte = IsLeadByte(uint8_t(text[position]), Window.CharacterSet) && text[position + 1] != '\0';
        position += doubleByte ? 2 : 1;
    }
    return position;
}

void InitCharacterCodeBuffers() {
    LogWrite("文字コードバッファの初期化を行います... ");
    TextInput.buffersInitialised = 1;
    LogWrite("完了しました\n");
}

void TextInputStep() {}

void ReleaseTextInputHandles() {
    TextInput.queueCount = 0;
}

// ---- Network, movies, music, archives, media --------------------------------

void NetworkTick() {}

void EndNetwork() {}

LRESULT HandleSocketNotification(WPARAM, LPARAM) {
    return 0;
}

void PauseMovies() {}

void ResumeMovies() {}

void DrawMoviesOnInactiveWindow() {}

void StopMusic() {}

void HandleMusicNotification(WPARAM, LPARAM) {}

void ReleaseUnreferencedArchives() {}

void PrecomputeColourTables() {}
