#include "app/CopyLockName.h"
#include "app/LiteralPathPrefix.h"

#include <windows.h>


const wchar_t CopyLockNamePrefix[] = L"Local\\OrvanneKeyConfig-";

namespace {

// FNV-1a, 64 bits, over the text's UTF-16 code units, low byte first: the
// same value in the 32-bit and the 64-bit program.
uint64_t HashText(const std::wstring& text) {
    uint64_t hash = 0xCBF29CE484222325u;
    for (wchar_t unit : text) {
        for (int shift = 0; shift < 16; shift += 8) {
            hash ^= (uint16_t(unit) >> shift) & 0xFF;
            hash *= 0x100000001B3u;
        }
    }
    return hash;
}

std::wstring Hex(uint64_t value) {
    wchar_t digits[17];
    for (int i = 15; i >= 0; --i, value >>= 4) digits[i] = L"0123456789abcdef"[value & 0xF];
    digits[16] = L'\0';
    return digits;
}

// Upper case by the invariant locale's table, so that the name does not
// depend on the user's language (Turkish upper-cases "i" differently).
std::wstring UpperCase(const std::wstring& text) {
    if (text.empty()) return text;
    std::wstring upper(text.size(), L'\0');
    const int size = int(text.size());
    if (LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, text.c_str(), size, &upper[0], size) == size) return upper;
    // Not expected; ASCII at least keeps the common spellings together.
    upper = text;
    for (wchar_t& c : upper)
        if (c >= L'a' && c <= L'z') c = wchar_t(c - L'a' + L'A');
    return upper;
}

} // namespace

std::wstring FolderPathKey(const std::wstring& path) {
    std::wstring key = path;
    for (wchar_t& c : key)
        if (c == L'/') c = L'\\';
    key = WithoutLiteralPrefix(key);
    while (!key.empty() && key.back() == L'\\') key.pop_back();
    return UpperCase(key);
}

std::wstring CopyLockName(const FolderIdentity& folder) {
    // The kind of key is part of the text: an id never meets a path.
    const std::wstring key =
        folder.idKnown ? L"id " + Hex(folder.volumeSerial) + L" " + Hex(folder.fileIdHigh) + Hex(folder.fileIdLow)
                       : L"path " + FolderPathKey(folder.path);
    return CopyLockNamePrefix + Hex(HashText(key));
}
