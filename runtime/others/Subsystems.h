// The least that the runtime's start-up, per-tick work, window procedure and
// shutdown need of the subsystems this build carries no code for: files,
// graphics, text input, network, movies, music, archives and media decoding.
// Each piece is safe to call whether or not its subsystem ever started, and
// says so when it does nothing.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

// ---- Files ------------------------------------------------------------------

// The file table's current-directory operations: plain Win32 here.
struct FileTable {
    int (*getCurrentDirectory)(char* buffer, int size); // 0 or -1
    int (*setCurrentDirectory)(const char* path);       // 0 or -1
};
extern const FileTable* CurrentFileTable;
void SelectDefaultFileTable();
void InstallStreamTables();

// ---- Graphics ---------------------------------------------------------------

struct GraphicsState {
    int32_t ScreenWidth;             // graphics mode width, 640 by default
    int32_t ScreenHeight;            // graphics mode height, 480 by default
    int32_t ScreenColourBits;        // 16 by default
    int32_t ScreenRefreshRate;       // 60 by default
    int32_t Emulate320x240;          // the 320 x 240 full-screen emulation is on
    int32_t KeepRunningWhenInactive; // 1 only while graphics redraws an inactive window: never here
    int32_t LogDisplayPrepared;      // the on-screen log display was prepared
};
extern GraphicsState Graphics;

// Stores the graphics mode; a zero width or height is refused (-1) and the
// previous mode kept.
int ConfigureScreen(int width, int height, int colourBits, int refreshRate);
// Whether the display offers a mode of that width and height.
bool DisplayModeExists(int width, int height);
// This build has no screen: the start reports "not started" as success and
// every screen query answers no.
int StartGraphics();
int RecreateScreen();
void EndGraphics();
bool GraphicsHasScreen();
bool GraphicsHasDevice();
bool ScreenRestoreFunctionRegistered();
bool DialogsAllowedOverFullScreen();

// ---- Text input (IME and the typed-character queue) ------------------------

constexpr int ImeTextSize = 1024;
constexpr int InputCharQueueSize = 256;

struct TextInputState {
    int32_t ImeUse;                      // the IME use setting: off by default
    int32_t ImeComposing;                // a composition is under way
    char ImeCompositionText[ImeTextSize];
    int32_t ImeCursorPosition;           // byte position in ImeCompositionText
    uint8_t ImeClauseData[ImeTextSize];
    int32_t ImeClauseCount;
    void* ImeCandidateList;              // tracked allocation, or null
    int32_t ImeCandidateListSize;
    int32_t ImeOpen;
    int32_t ImeRestoreRequested;
    int32_t ImeOpenStatusWaitBusy;
    int32_t LastImeActivityTime;         // NowMilliseconds of the last IME message
    uint8_t queue[InputCharQueueSize];   // typed characters, oldest first
    int32_t queueCount;
    int32_t buffersInitialised;          // the character-code buffers exist
};
extern TextInputState TextInput;

// Queues one typed character; false when the queue is full.
bool QueueInputChar(uint8_t character);
bool InputCharQueueFull();
// Takes the oldest typed character, or -1.
int TakeInputChar();
// Byte position of character index `index` in a DBCS text.
int CharIndexToBytePosition(const char* text, int index);
void InitCharacterCodeBuffers();   // logs its two texts
void TextInputStep();
void ReleaseTextInputHandles();

// ---- Network, movies, music, archives, media --------------------------------

void NetworkTick();
void EndNetwork();                 // logs only when the network was started
LRESULT HandleSocketNotification(WPARAM wParam, LPARAM lParam);
void PauseMovies();
void ResumeMovies();
void DrawMoviesOnInactiveWindow();
void StopMusic();
void HandleMusicNotification(WPARAM wParam, LPARAM lParam);
void ReleaseUnreferencedArchives();
void PrecomputeColourTables();
