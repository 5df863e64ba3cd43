// What only the Win32 file stream and opener have: handles, '/' in paths, sharing, and
// GetLastError codes.
#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <string>

#include "multio/StreamOpener_File_Win32File.h"
#include "multio/Stream_Win32File.h"
#include "support/TempDir.h"

using multio::Stream_Win32File;

namespace {

std::string withForwardSlashes(std::string path) {
  for (char& c : path)
    if (c == '\\') c = '/';
  return path;
}

}  // namespace

TEST(Stream_Win32File, AttachRefusesASecondHandle) {
  vltest::TempDir dir;
  ASSERT_TRUE(vltest::TempDir::writeFile(dir.file("a"), "A"));
  ASSERT_TRUE(vltest::TempDir::writeFile(dir.file("b"), "B"));
  HANDLE a = CreateFileA(dir.file("a").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  HANDLE b = CreateFileA(dir.file("b").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(a, INVALID_HANDLE_VALUE);
  ASSERT_NE(b, INVALID_HANDLE_VALUE);
  Stream_Win32File stream;
  EXPECT_TRUE(stream.atEnd());
  EXPECT_EQ(stream.flush(), -15);
  EXPECT_EQ(stream.attach(a), 0);
  EXPECT_EQ(stream.attach(b), -13);
  EXPECT_EQ(stream.getHandle(), a);
  char c = 0;
  EXPECT_EQ(stream.read(&c, 1, 0), 1);
  EXPECT_EQ(c, 'A');
  stream.close();
  EXPECT_EQ(stream.getHandle(), nullptr);
  CloseHandle(b);
}

TEST(StreamOpener_File_Win32File, ForwardSlashesOpenTheSameFile) {
  vltest::TempDir dir;
  const std::string path = dir.file("slash.txt");
  ASSERT_TRUE(vltest::TempDir::writeFile(path, "same"));
  multio::StreamOpener_File_Win32File opener;
  std::unique_ptr<multio::Stream> stream;
  ASSERT_EQ(opener.open(withForwardSlashes(path).c_str(), multio::kOpenRead, stream), 0);
  char buffer[8];
  EXPECT_EQ(stream->read(buffer, 8, 0), 4);
  EXPECT_EQ(std::string(buffer, 4), "same");
  stream->close();
}

TEST(StreamOpener_File_Win32File, FailuresAreMinusGetLastError) {
  vltest::TempDir dir;
  multio::StreamOpener_File_Win32File opener;
  std::unique_ptr<multio::Stream> stream;
  EXPECT_EQ(opener.open(dir.file("missing").c_str(), multio::kOpenRead, stream), -ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(stream);
  ASSERT_TRUE(vltest::TempDir::writeFile(dir.file("there"), ""));
  EXPECT_EQ(opener.open(dir.file("there").c_str(), multio::kOpenWrite | multio::kOpenCreateNew, stream),
            -ERROR_FILE_EXISTS);
  EXPECT_FALSE(stream);
}

TEST(StreamOpener_File_Win32File, ReadSharesReadingAndWriteSharesNothing) {
  vltest::TempDir dir;
  const std::string path = dir.file("shared.txt");
  ASSERT_TRUE(vltest::TempDir::writeFile(path, "x"));
  multio::StreamOpener_File_Win32File opener;
  std::unique_ptr<multio::Stream> first, second;
  ASSERT_EQ(opener.open(path.c_str(), multio::kOpenRead, first), 0);
  EXPECT_EQ(opener.open(path.c_str(), multio::kOpenRead, second), 0);
  second->close();
  first->close();

  ASSERT_EQ(opener.open(path.c_str(), 0x602, first), 0);
  EXPECT_EQ(opener.open(path.c_str(), multio::kOpenRead, second), -ERROR_SHARING_VIOLATION);
  EXPECT_FALSE(second);
  first->close();
}
