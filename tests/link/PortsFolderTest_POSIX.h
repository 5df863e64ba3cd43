#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "link/PortPath_POSIX.h"
#include "support/TempDir.h"

// A ports folder (and an empty device folder) of the test's own, where COM ports are looked up
// while the test runs.
class PortsFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(ports());
    std::filesystem::create_directories(dir.file("dev"));
    setPortLocations({ports(), dir.file("dev")});
  }
  void TearDown() override { setPortLocations(defaultPortLocations()); }
  std::string ports() const { return dir.file("ports"); }

  vltest::TempDir dir;
};
