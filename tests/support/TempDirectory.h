// A fresh directory under the system's temporary folder, removed with
// everything in it when the object goes. Optionally the working directory
// while it lives.
#pragma once

#include <string>
#include <vector>

class TempDirectory {
public:
    enum class Enter { No, Yes };
    explicit TempDirectory(Enter enter = Enter::No);
    ~TempDirectory();
    TempDirectory(const TempDirectory&) = delete;
    TempDirectory& operator=(const TempDirectory&) = delete;

    const std::string& Path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "\\" + name; }
    // Names of the files in the directory, sorted, in UTF-8.
    std::vector<std::string> List() const;

private:
    std::string path_;
    std::string previousDirectory_;
};

// Whole-file helpers for tests.
std::string ReadFileBytes(const std::string& path);
bool WriteFileBytes(const std::string& path, const std::string& bytes);
bool FileExists(const std::string& path);

// The same by wide path, for folders named in any script.
std::wstring WidePath(const std::string& path); // from the ANSI code page
std::string ReadFileBytes(const std::wstring& path);
bool WriteFileBytes(const std::wstring& path, const std::string& bytes);
bool FileExists(const std::wstring& path);
// Names of the files in a folder, sorted, in UTF-8.
std::vector<std::string> ListFolder(const std::wstring& path);
// Removes a folder with everything in it.
void RemoveTree(const std::wstring& path);
// Makes a folder with its parents.
void MakeFolders(const std::wstring& path);
// Dates a file's last write that many seconds after a day in 2020.
bool DateLastWrite(const std::wstring& path, int seconds);
