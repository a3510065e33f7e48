// Windows' literal form of a path, "\\?\C:\x" for "C:\x" and
// "\\?\UNC\server\share" for "\\server\share", which lifts the length limit
// and names the same folder: what shows a path to a player or keys it by
// name reads it without the prefix.
#pragma once

#include <string>

inline std::wstring WithoutLiteralPrefix(const std::wstring& path) {
    if (path.compare(0, 8, L"\\\\?\\UNC\\") == 0) return L"\\\\" + path.substr(8);
    if (path.compare(0, 4, L"\\\\?\\") == 0) return path.substr(4);
    return path;
}
