// The runtime's log: "Log.txt" in the start-up directory, or the debugger
// output alone in host-window mode.
#pragma once

#include "runtime/diag/LineEnds.h" // IsLeadByte, ExpandLineEnds, shared with every text scan

#include <cstddef>
#include <cstdint>

constexpr int LogFileNameSize = 260;
constexpr size_t LogShortTextLimit = 256; // texts shorter than this need no allocation
constexpr size_t LogPrintfBufferSize = 1024;

struct LogState {
    int32_t LogDisabled;              // 1: no file is created or written (SetLogOutput(0))
    char LogFileName[LogFileNameSize]; // "Log.txt" once the log has started
    int32_t LogIndentLevel;           // TABs at the start of each line, never below 0
    int32_t LogMidLine;               // 1: the last text left its line open
    uint32_t LogStartTime;            // timeGetTime() when the log started
};

extern LogState Log;

int StartLog();
int LogWrite(const char* text);
int LogPrintf(const char* format, ...) __attribute__((format(gnu_printf, 1, 2)));
int IncreaseLogIndent();
int DecreaseLogIndent();

// The log file's path, a pure function: directory, a backslash unless the
// directory already ends in one (a drive root such as "C:\"), then fileName,
// into path[size]. False, with path empty, when the result does not fit.
bool JoinLogPath(const char* directory, const char* fileName, char* path, size_t size);
