// The texts of the tool's error boxes. Each box opens with the line that
// names what failed, and goes on in plain words: what happened and what the
// player can do about it. Texts are Shift-JIS; the one that names a folder is
// put together in UTF-16, since a folder's name may hold any letter.
#pragma once

#include <string>

extern const char ErrorBoxTitle[]; // "キーコンフィグエラー"

// The start refused while the game (a program on the same runtime) runs.
extern const char GameRunningBoxText[];
// The start refused for any other reason.
extern const char StartupErrorBoxText[];
// saves.qvr is there but was not whole within the wait, or could not be read.
extern const char UnreadableSaveBoxText[];
// The save at OK failed; the dialog stays open.
extern const char SaveErrorBoxText[];

// The lines of the box for a folder without saves.qvr, before and after the
// folder's own line.
extern const char MissingSaveBoxTextBefore[];
extern const char MissingSaveBoxTextAfter[];

// The whole text of the box for a folder without saves.qvr, naming it.
std::wstring MissingSaveBoxText(const std::wstring& folder);
