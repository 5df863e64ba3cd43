#pragma once

// What a test needs from the machine beyond the program itself: a test whose tool or font is
// missing skips instead of failing.
namespace vltest {

// True when PROGRAM is an executable file in one of the folders of PATH.
bool programInstalled(const char* program);

// True when fontconfig knows a font of the family FAMILY (not a substitute for it), or any font
// at all when FAMILY is null: without one no window of the program opens.
bool fontInstalled(const char* family = nullptr);

}  // namespace vltest

// Skips the running test (or, in SetUp, the test about to run) when PROGRAM is not installed.
#define VL_SKIP_WITHOUT_PROGRAM(program) \
  if (!vltest::programInstalled(program)) GTEST_SKIP() << (program) << " is not installed"

// Skips the running test when no font is installed.
#define VL_SKIP_WITHOUT_FONTS() \
  if (!vltest::fontInstalled()) GTEST_SKIP() << "no font is installed"
