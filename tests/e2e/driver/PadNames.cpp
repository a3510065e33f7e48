#include "driver/PadNames.h"

namespace {

const wchar_t LineBreak[] = L"\r\n";
const wchar_t Ellipsis = L'\u2026';

} // namespace

// Among them names that differ only in a word or two, and the padding some
// drivers give. HORI's is longer than two lines of the line take: its make
// and kind must show.
const std::vector<RealPadName> RealPadNames = {
    {L"Controller (Xbox One For Windows)", L"Xbox One For Windows", L"Xbox One"},
    {L"Controller (XBOX 360 For Windows)", L"XBOX 360 For Windows", L"XBOX 360"},
    {L"Wireless Controller", L"Wireless Controller", L"Wireless Controller"},
    {L"DualSense Wireless Controller", L"DualSense Wireless Controller", L"DualSense"},
    {L"Pro Controller", L"Pro Controller", L"Pro Controller"},
    {L"USB Gamepad", L"USB Gamepad", L"USB Gamepad"},
    {L"8BitDo SN30 Pro+", L"8BitDo SN30 Pro+", L"8BitDo SN30 Pro+"},
    {L"HORI Fighting Commander", L"HORI Fighting Commander", L"HORI Fighting"},
    {L"Logitech Dual Action", L"Logitech Dual Action", L"Logitech Dual Action"},
    {L"Generic   USB  Joystick  ", L"Generic USB Joystick", L"Generic USB Joystick"},
    {L"ワイヤレス ゲームパッド", L"ワイヤレス ゲームパッド", L"ワイヤレス"}, // Shift-JIS on its way to the line
};

std::vector<std::wstring> StatusLines(const std::wstring& text) {
    std::vector<std::wstring> lines;
    for (size_t start = 0;;) {
        const size_t end = text.find(LineBreak, start);
        lines.push_back(text.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start));
        if (end == std::wstring::npos) return lines;
        start = end + 2;
    }
}

std::wstring AsOneLine(const std::wstring& text) {
    std::wstring one;
    for (const std::wstring& line : StatusLines(text)) one += (one.empty() ? L"" : L" ") + line;
    return one;
}

bool ShowsWordsWhole(const std::wstring& oneLine, const std::wstring& words) {
    for (size_t at = oneLine.find(words); at != std::wstring::npos; at = oneLine.find(words, at + 1)) {
        const size_t end = at + words.size();
        const bool startsAWord = at == 0 || oneLine[at - 1] == L' ';
        const bool endsAWord = end == oneLine.size() || oneLine[end] == L' ' || oneLine[end] == Ellipsis;
        if (startsAWord && endsAWord) return true;
    }
    return false;
}
