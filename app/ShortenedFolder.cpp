#include "app/ShortenedFolder.h"

#include "app/LiteralPathPrefix.h"

namespace {

const wchar_t Ellipsis = L'\u2026';

bool IsLowSurrogate(wchar_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

bool IsSeparator(wchar_t c) {
    return c == L'\\' || c == L'/';
}

// Where the root ends: after "C:\", after "\\server\share\", else 0.
size_t RootLength(const std::wstring& path) {
    if (path.size() >= 2 && path[1] == L':') return path.size() > 2 && IsSeparator(path[2]) ? 3 : 2;
    if (path.size() < 2 || !IsSeparator(path[0]) || !IsSeparator(path[1])) return 0;
    size_t at = 2;
    for (int part = 0; part < 2 && at < path.size(); ++part) {
        while (at < path.size() && !IsSeparator(path[at])) ++at;
        if (at < path.size()) ++at; // the separator after the server and after the share
    }
    return at;
}

// The end of a text in at most `limit` units, "…" first, never starting on
// the second half of a surrogate pair.
std::wstring EllipsisAndEnd(const std::wstring& text, size_t limit) {
    if (limit == 0) return std::wstring();
    size_t from = text.size() - (limit - 1);
    if (from < text.size() && IsLowSurrogate(text[from])) ++from;
    return Ellipsis + text.substr(from);
}

} // namespace

std::wstring ShortenedFolder(const std::wstring& path, size_t limit) {
    std::wstring shown = WithoutLiteralPrefix(path);
    while (shown.size() > RootLength(shown) + 1 && IsSeparator(shown.back())) shown.pop_back();
    if (shown.size() <= limit) return shown;
    const size_t lastSeparator = shown.find_last_of(L"\\/");
    const std::wstring last = lastSeparator == std::wstring::npos ? shown : shown.substr(lastSeparator + 1);
    const std::wstring root = shown.substr(0, RootLength(shown));
    // root + "…\" + the last folders, as many of them as fit.
    if (root.size() + 2 + last.size() > limit) return EllipsisAndEnd(last, limit);
    size_t tail = lastSeparator; // the tail shown starts at a separator
    for (;;) {
        const size_t before = tail == 0 ? std::wstring::npos : shown.find_last_of(L"\\/", tail - 1);
        if (before == std::wstring::npos || before < root.size()) break;
        if (root.size() + 1 + (shown.size() - before) > limit) break;
        tail = before;
    }
    return root + Ellipsis + shown.substr(tail);
}
