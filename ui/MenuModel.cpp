#include "ui/MenuModel.h"

#include "ui/resource.h"

namespace ui {

namespace {

const MenuItem fileItems[] = {{"ログイン時に起動", IDM_STARTATLOGIN},
                               {"パネルのプレビュー", IDM_PREVIEW},
                               {"キャプチャ範囲を選択…", IDM_PICKAREA},
                               {"ミラーするウィンドウを選択…", IDM_PICKWINDOW},
                               {"アプリケーションの終了(&X)", IDM_EXIT}};
const MenuItem helpItems[] = {{"Vantela webページ", IDM_WEBPAGE}, {"バージョン情報(&A)...", IDM_ABOUT}};

}  // namespace

const MenuPopup mainMenu[] = {{"ファイル(&F)", fileItems, 5}, {"ヘルプ(&H)", helpItems, 2}};
const int32_t mainMenuCount = 2;

const char* const aboutCaption = "バージョン情報 Vantelink";
const char* const aboutVersionLine = "Vantelink_S, Version 0.2013.0127";
const char* const aboutNoticeLine = "© Vantela";
const char* const aboutFirmwareLine = "Compatible fw. 1.121231 or later";

uint32_t mnemonicOf(const char* text) {
  for (const char* p = text; *p; ++p) {
    if (*p != '&') continue;
    if (p[1] == '&') {
      ++p;
      continue;
    }
    const char c = p[1];
    if (c >= 'a' && c <= 'z') return static_cast<uint32_t>(c - 'a' + 'A');
    if ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return static_cast<uint32_t>(c);
    return 0;
  }
  return 0;
}

}  // namespace ui
