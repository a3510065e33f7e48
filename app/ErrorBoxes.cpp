#include "app/ErrorBoxes.h"

#include "app/Dialog.h"
#include "app/ShortenedFolder.h"

const char ErrorBoxTitle[] = "キーコンフィグエラー";

const char GameRunningBoxText[] = "ゲームが起動中です。\n"
                                  "ゲームを終了してから、キーコンフィグをもう一度起動してください。"
                                  "ゲームのウィンドウが見当たらないときは、タスク バーかタスク マネージャーで"
                                  "確かめてください。";

const char StartupErrorBoxText[] = "キーコンフィグを起動できませんでした。\n"
                                   "しばらく待ってから、もう一度起動してください。"
                                   "何度も出るときは、Windows を再起動してから試してください。";

const char UnreadableSaveBoxText[] = "セーブファイルの読み込みに失敗しました。\n"
                                     "saves.qvr を読み込めませんでした。ゲームが書き込み中か、"
                                     "ファイルが壊れている可能性があります。"
                                     "ゲームを終了してから、もう一度試してください。"
                                     "saves.qvr は削除しないでください。";

const char SaveErrorBoxText[] = "セーブファイルの書き込みに失敗しました。\n"
                                "ほかのプログラムが saves.qvr を使っているか、saves.qvr に書き込めません"
                                "（読み取り専用など）。割り当てはまだ書き込まれていません。"
                                "少し待ってから、もう一度 OK を押してください。";

const char MissingSaveBoxTextBefore[] = "セーブファイルの読み込みに失敗しました。\n"
                                        "次のフォルダーに saves.qvr がありません。";
const char MissingSaveBoxTextAfter[] = "KeyConfig.exe を、saves.qvr のあるゲームのフォルダーに入れて"
                                       "起動してください。saves.qvr がまだないときは、"
                                       "先にゲームを起動して一度セーブしてください。";

std::wstring MissingSaveBoxText(const std::wstring& folder) {
    return WideFromShiftJis(MissingSaveBoxTextBefore) + L"\n" + ShortenedFolder(folder) + L"\n" +
           WideFromShiftJis(MissingSaveBoxTextAfter);
}
