#pragma once

#include <windows.h>

namespace ui {

// The About box's dialog procedure (dialog resource 103).
INT_PTR CALLBACK aboutDialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace ui
