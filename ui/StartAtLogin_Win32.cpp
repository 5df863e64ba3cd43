#include <windows.h>

#include <string>

#include "ui/StartAtLogin.h"

namespace ui {

namespace {

constexpr wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
// Where the desktop's start-up manager keeps an entry it switched off (first byte odd).
constexpr wchar_t kApprovedKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\Run";
constexpr wchar_t kValueName[] = L"Vantelink";

bool switchedOffByDesktop() {
  BYTE state[12] = {};
  DWORD size = sizeof state;
  if (RegGetValueW(HKEY_CURRENT_USER, kApprovedKey, kValueName, RRF_RT_REG_BINARY, nullptr, state, &size) !=
      ERROR_SUCCESS)
    return false;
  return size > 0 && (state[0] & 1) != 0;
}

std::wstring runningProgram() {
  std::wstring path(32768, L'\0');
  const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
  if (n == 0 || n >= path.size()) return {};
  path.resize(n);
  return path;
}

}  // namespace

bool startsAtLogin() {
  DWORD size = 0;
  const LSTATUS found =
      RegGetValueW(HKEY_CURRENT_USER, kRunKey, kValueName, RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND,
                   nullptr, nullptr, &size);
  return found == ERROR_SUCCESS && size > sizeof(wchar_t) && !switchedOffByDesktop();
}

bool setStartAtLogin(bool on) {
  HKEY run = nullptr;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, kRunKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &run, nullptr) !=
      ERROR_SUCCESS)
    return false;
  LSTATUS result;
  if (on) {
    const std::wstring program = runningProgram();
    const std::wstring command = L"\"" + program + L"\"";
    result = program.empty() ? ERROR_BAD_PATHNAME
                             : RegSetValueExW(run, kValueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()),
                                              static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t)));
    // Switched on here: an old "off" of the start-up manager must not hide it.
    if (result == ERROR_SUCCESS) RegDeleteKeyValueW(HKEY_CURRENT_USER, kApprovedKey, kValueName);
  } else {
    result = RegDeleteValueW(run, kValueName);
    if (result == ERROR_FILE_NOT_FOUND) result = ERROR_SUCCESS;
  }
  RegCloseKey(run);
  return result == ERROR_SUCCESS;
}

}  // namespace ui
