#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "ui/StartAtLogin.h"

namespace {

constexpr wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr wchar_t kApprovedKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\Run";

std::wstring runValue() {
  wchar_t text[4096] = {};
  DWORD size = sizeof text;
  if (RegGetValueW(HKEY_CURRENT_USER, kRunKey, L"Vantelink", RRF_RT_REG_SZ, nullptr, text, &size) != ERROR_SUCCESS)
    return L"(none)";
  return text;
}

void setValue(const wchar_t* key, DWORD type, const void* data, DWORD size) {
  ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, key, L"Vantelink", type, data, size), ERROR_SUCCESS);
}

// The prefix's Run value is the user's: whatever the test does, it is put back.
struct RunValueKept {
  RunValueKept() : before(runValue()) {}
  ~RunValueKept() {
    RegDeleteKeyValueW(HKEY_CURRENT_USER, kApprovedKey, L"Vantelink");
    if (before == L"(none)")
      RegDeleteKeyValueW(HKEY_CURRENT_USER, kRunKey, L"Vantelink");
    else
      RegSetKeyValueW(HKEY_CURRENT_USER, kRunKey, L"Vantelink", REG_SZ, before.c_str(),
                      static_cast<DWORD>((before.size() + 1) * sizeof(wchar_t)));
  }
  std::wstring before;
};

TEST(StartAtLogin, TheRunValueIsWhatTheCheckMarkShowsWhoeverSetIt) {
  RunValueKept kept;
  ASSERT_TRUE(ui::setStartAtLogin(false));
  EXPECT_EQ(runValue(), L"(none)");
  EXPECT_FALSE(ui::startsAtLogin());

  ASSERT_TRUE(ui::setStartAtLogin(true));
  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  EXPECT_EQ(runValue(), L"\"" + std::wstring(self) + L"\"");
  EXPECT_TRUE(ui::startsAtLogin());

  // The start-up manager switches an entry off beside the Run key; switching on here undoes it.
  const BYTE off[12] = {3};
  setValue(kApprovedKey, REG_BINARY, off, sizeof off);
  EXPECT_FALSE(ui::startsAtLogin());
  ASSERT_TRUE(ui::setStartAtLogin(true));
  EXPECT_TRUE(ui::startsAtLogin());

  // Set and removed from outside.
  ASSERT_EQ(RegDeleteKeyValueW(HKEY_CURRENT_USER, kRunKey, L"Vantelink"), ERROR_SUCCESS);
  EXPECT_FALSE(ui::startsAtLogin());
  const wchar_t other[] = L"C:\\elsewhere\\vantelink.exe";
  setValue(kRunKey, REG_SZ, other, sizeof other);
  EXPECT_TRUE(ui::startsAtLogin());

  ASSERT_TRUE(ui::setStartAtLogin(false));
  EXPECT_EQ(runValue(), L"(none)");
  EXPECT_FALSE(ui::startsAtLogin());
}

}  // namespace
