// A folder's path shortened for a line of text, where a player reads it.
#pragma once

#include <cstddef>
#include <string>

// The most characters of a folder's path that a box shows; a longer one is
// shortened by ShortenedFolder.
constexpr size_t BoxFolderCharacters = 40;

// A folder's path as a box shows it, a pure function: at most `limit` UTF-16
// units. A longer path keeps its root (the drive, or \\server\share) and as
// many of its last folders as fit, with "…" for what is left out between
// them; where even the last folder alone is too long, "…" and its end. The
// literal prefix \\?\ (\\?\UNC\ for a share) is not shown. A surrogate pair
// is never cut in two.
std::wstring ShortenedFolder(const std::wstring& path, size_t limit = BoxFolderCharacters);
