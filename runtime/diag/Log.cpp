#include "runtime/diag/Log.h"

#include "runtime/Runtime.h"
#include "runtime/diag/DebugOutput.h"
#include "runtime/diag/Format.h"
// The allocator logs in turn: the one pair of files that need each other
// (see TrackedAlloc.cpp).
#include "runtime/diag/TrackedAlloc.h"
#include "runtime/state/LifecycleState.h"
#include "runtime/state/WindowState.h"

#include <windows.h>
#include <mmsystem.h>

#include <cstdarg>
#include <cstring>

LogState Log;

namespace {

constexpr const char LogDefaultFileName[] = "Log.txt";
constexpr size_t LogPathSize = 512;

bool BuildLogPath(char* path) {
    return JoinLogPath(Lifecycle.StartupDirectory, Log.LogFileName, path, LogPathSize);
}

HANDLE OpenLogForAppend(const char* path) {
    HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return file;
    SetFilePointer(file, 0, nullptr, FILE_END);
    return file;
}

// One piece of a line goes to the file and, the same bytes, to the debugger.
void WritePiece(HANDLE file, const char* text, size_t length) {
    if (length == 0) return;
    DWORD written = 0;
    WriteFile(file, text, DWORD(length), &written, nullptr);
    WriteDebugOutput(text);
}

void WriteLineStart(HANDLE file) {
    char stamp[16];
    size_t length = FormatText(stamp, sizeof stamp, "%d:", int(timeGetTime() - Log.LogStartTime));
    WritePiece(file, stamp, length);

    static const char tabs[] = "\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t";
    constexpr int tabsPerPiece = int(sizeof tabs - 1);
    for (int left = Log.LogIndentLevel; left > 0; left -= tabsPerPiece) {
        int count = left < tabsPerPiece ? left : tabsPerPiece;
        WritePiece(file, tabs + (tabsPerPiece - count), size_t(count));
    }
}

void AppendToLogFile(const char* text, size_t length) {
    char path[LogPathSize];
    if (!BuildLogPath(path)) return;
    HANDLE file = OpenLogForAppend(path);
    if (file == INVALID_HANDLE_VALUE) return; // the log never reports its own failures
    if (Log.LogMidLine == 0) WriteLineStart(file);
    WritePiece(file, text, length);
    // An empty text still opens a line: its time stamp and tabs were the last
    // bytes written.
    Log.LogMidLine = length == 0 || text[length - 1] != '\n' ? 1 : 0;
    CloseHandle(file);
}

void RouteLogText(const char* text, size_t length) {
    if (Window.HostWindowMode == 1) {
        WriteDebugOutput(text);
        return;
    }
    if (Log.LogDisabled == 1) return;
    if (Lifecycle.StartupDirectory[0] == '\0' || Log.LogFileName[0] == '\0') return;
    AppendToLogFile(text, length);
}

} // namespace

bool JoinLogPath(const char* directory, const char* fileName, char* path, size_t size) {
    size_t directoryLength = std::strlen(directory);
    bool hasSeparator = directoryLength > 0 && directory[directoryLength - 1] == '\\';
    size_t nameLength = std::strlen(fileName);
    size_t total = directoryLength + (hasSeparator ? 0 : 1) + nameLength;
    if (size == 0) return false;
    path[0] = '\0';
    if (total >= size) return false;
    std::memcpy(path, directory, directoryLength);
    if (!hasSeparator) path[directoryLength++] = '\\';
    std::memcpy(path + directoryLength, fileName, nameLength + 1);
    return true;
}

int SetLogOutput(int enabled) {
    Log.LogDisabled = enabled == 0 ? 1 : 0;
    return 0;
}

int StartLog() {
    if (Log.LogDisabled == 1 || Window.HostWindowMode == 1) return 1;
    std::memcpy(Log.LogFileName, LogDefaultFileName, sizeof LogDefaultFileName);

    // The start-up has just made StartupDirectory the working directory, so
    // the full path names the same file as the bare name would; it also keeps
    // the file where every later write looks for it.
    char path[LogPathSize];
    const char* target = LogDefaultFileName;
    if (Lifecycle.StartupDirectory[0] != '\0' && BuildLogPath(path)) target = path;
    DeleteFileA(target);
    HANDLE file = CreateFileA(target, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);

    Log.LogIndentLevel = 0;
    Log.LogMidLine = 0;
    Log.LogStartTime = timeGetTime();
    return 1;
}

int LogWrite(const char* text) {
    if (text == nullptr) return -1;
    size_t length = std::strlen(text);
    if (length > (size_t(INT32_MAX) - 1) / 2) return -1; // its work buffer could not be sized

    char local[ExpandedSize(LogShortTextLimit)];
    char* work = local;
    if (length >= LogShortTextLimit) {
        work = static_cast<char*>(TrackedAlloc(int32_t(ExpandedSize(length)), nullptr, -1));
        if (work == nullptr) return -1; // the allocator has logged its failure
    }
    size_t expanded = ExpandLineEnds(text, length, Window.CharacterSet, work);
    RouteLogText(work, expanded);
    if (work != local) TrackedFree(work);
    return -1;
}

int LogPrintf(const char* format, ...) {
    char buffer[LogPrintfBufferSize];
    va_list args;
    va_start(args, format);
    // One byte is kept back for the line feed: text, "\n" and terminator
    // always fit the buffer, however long the formatted result.
    size_t length = FormatTextV(buffer, sizeof buffer - 1, format, args);
    va_end(args);
    buffer[length] = '\n';
    buffer[length + 1] = '\0';
    return LogWrite(buffer);
}

int IncreaseLogIndent() {
    ++Log.LogIndentLevel;
    return 0;
}

int DecreaseLogIndent() {
    if (Log.LogIndentLevel > 0) --Log.LogIndentLevel;
    return 0;
}
