// The name of the kernel object by which the copies of the tool started for
// one game folder, and so for one save file, find each other. Plain data in,
// a name out.
#pragma once

#include "app/FolderIdentity.h"

#include <string>

// The prefix of every name: the session's own namespace, which Windows XP
// has, and the tool's. It never changes: copies of two releases of the tool
// in one folder must find each other too.
extern const wchar_t CopyLockNamePrefix[];

// A folder's path as the key of its name: the literal prefix "\\?\" dropped
// ("\\?\UNC\server" is "\\server"), "/" read as "\", the backslashes it
// ends with dropped, and the letters in upper case by the system's invariant
// table, which no user's language changes, as the file systems ignore case.
std::wstring FolderPathKey(const std::wstring& path);

// CopyLockNamePrefix followed by 16 hexadecimal digits, a hash of the
// folder's id where it is known and of its path's key otherwise: no
// backslash after the namespace, and far inside the system's limit on the
// length of a name (MAX_PATH).
std::wstring CopyLockName(const FolderIdentity& folder);
