// The platform's file stream and file opener, against real files in a temporary folder.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "multio/StreamOpener.h"
#include "support/TempDir.h"

using multio::Stream;

namespace {

std::unique_ptr<Stream> openFile(const std::string& path, int32_t flags, int32_t* result = nullptr) {
  std::unique_ptr<Stream> stream;
  const int32_t r = multio::makeFileStreamOpener()->open(path.c_str(), flags, stream);
  if (result != nullptr) *result = r;
  return stream;
}

}  // namespace

TEST(FileStream, ReadsWholeFileThenReportsEndWithShortCount) {
  vltest::TempDir dir;
  const std::string path = dir.file("data.bin");
  ASSERT_TRUE(vltest::TempDir::writeFile(path, "abcdef"));
  auto stream = openFile(path, multio::kOpenRead);
  ASSERT_TRUE(stream);
  char buffer[16] = {};
  EXPECT_FALSE(stream->atEnd());
  EXPECT_EQ(stream->readable(), 1);
  EXPECT_EQ(stream->read(buffer, 4, 0), 4);
  EXPECT_EQ(std::string(buffer, 4), "abcd");
  EXPECT_FALSE(stream->atEnd());
  EXPECT_EQ(stream->read(buffer, 10, 0), 2);
  EXPECT_EQ(std::string(buffer, 2), "ef");
  EXPECT_TRUE(stream->atEnd());
  EXPECT_EQ(stream->readable(), 0);
  EXPECT_EQ(stream->getBytesRead(), 6);
  EXPECT_EQ(stream->read(buffer, 10, 0), 0);

  // tell and seek clear the end flag; seek from the end goes back into the file.
  EXPECT_EQ(stream->tell(), 6);
  EXPECT_FALSE(stream->atEnd());
  EXPECT_EQ(stream->seek(2, 0), 0);
  EXPECT_EQ(stream->read(buffer, 2, 0), 2);
  EXPECT_EQ(std::string(buffer, 2), "cd");
  EXPECT_EQ(stream->seek(1, 1), 0);
  EXPECT_EQ(stream->tell(), 5);
  EXPECT_EQ(stream->seek(0, 2), 0);
  EXPECT_EQ(stream->tell(), 6);
  EXPECT_EQ(stream->close(), 0);
}

TEST(FileStream, RejectsUnknownFlagsAndOrigins) {
  vltest::TempDir dir;
  const std::string path = dir.file("data.bin");
  ASSERT_TRUE(vltest::TempDir::writeFile(path, "xyz"));
  auto stream = openFile(path, multio::kOpenRead | multio::kOpenWrite);
  ASSERT_TRUE(stream);
  char buffer[4];
  EXPECT_EQ(stream->read(buffer, 1, 1), -18);
  EXPECT_EQ(stream->write("a", 1, 4), -18);
  EXPECT_EQ(stream->seek(0, 3), -18);
  EXPECT_EQ(stream->seek(0, -1), -18);
  EXPECT_EQ(stream->query(), -18);
  EXPECT_EQ(stream->control(0), -125);
  EXPECT_TRUE(stream->canSeek());
  EXPECT_FALSE(stream->failed());
  EXPECT_EQ(stream->getBytesRead(), 0);
  EXPECT_EQ(stream->getBytesWritten(), 0);
  stream->close();
  EXPECT_EQ(vltest::TempDir::readFile(path), "xyz");
}

TEST(FileStream, WritesCountsFlushesAndForgetsTheHandleOnClose) {
  vltest::TempDir dir;
  const std::string path = dir.file("out.txt");
  int32_t result = 1;
  auto stream = openFile(path, multio::kOpenWrite | multio::kOpenTruncate | multio::kOpenCreate, &result);
  ASSERT_EQ(result, 0);
  ASSERT_TRUE(stream);
  EXPECT_EQ(stream->write("hello ", 6, 0), 6);
  EXPECT_EQ(stream->write("world", 5, 0), 5);
  EXPECT_EQ(stream->write("", 0, 0), 0);
  EXPECT_EQ(stream->getBytesWritten(), 11);
  EXPECT_EQ(stream->tell(), 11);
  EXPECT_EQ(stream->flush(), 0);
  EXPECT_EQ(stream->close(), 0);
  EXPECT_EQ(vltest::TempDir::readFile(path), "hello world");  // no sharing while it was open
  // A closed stream has no handle left to misuse.
  EXPECT_TRUE(stream->atEnd());
  EXPECT_EQ(stream->flush(), -15);
  EXPECT_EQ(stream->seek(0, 0), -15);
  EXPECT_EQ(stream->tell(), -15);
  EXPECT_EQ(stream->close(), 0);
  char buffer[4];
  EXPECT_EQ(stream->read(buffer, 4, 0), -1);
  EXPECT_EQ(stream->write("x", 1, 0), -1);
}

TEST(FileStreamOpener, DispositionFollowsTheFlags) {
  vltest::TempDir dir;
  const std::string path = dir.file("f.txt");
  int32_t result = 0;

  // Existing-only opens fail on a missing file, and leave nothing behind.
  EXPECT_FALSE(openFile(path, multio::kOpenRead, &result));
  EXPECT_LT(result, 0);
  EXPECT_FALSE(openFile(path, multio::kOpenWrite | multio::kOpenTruncate, &result));
  EXPECT_LT(result, 0);
  EXPECT_FALSE(vltest::TempDir::exists(path));

  // Create without truncate keeps what is there.
  ASSERT_TRUE(vltest::TempDir::writeFile(path, "keep"));
  auto stream = openFile(path, multio::kOpenWrite | multio::kOpenCreate, &result);
  ASSERT_EQ(result, 0);
  EXPECT_EQ(stream->write("K", 1, 0), 1);
  stream->close();
  EXPECT_EQ(vltest::TempDir::readFile(path), "Keep");

  // Truncate of an existing file empties it.
  stream = openFile(path, multio::kOpenWrite | multio::kOpenTruncate, &result);
  ASSERT_EQ(result, 0);
  stream->close();
  EXPECT_EQ(vltest::TempDir::readFile(path), "");

  // Create-new refuses an existing file and makes a missing one.
  EXPECT_FALSE(openFile(path, multio::kOpenWrite | multio::kOpenCreateNew, &result));
  EXPECT_LT(result, 0);
  const std::string fresh = dir.file("new.txt");
  stream = openFile(fresh, multio::kOpenWrite | multio::kOpenCreateNew, &result);
  ASSERT_EQ(result, 0);
  stream->close();
  EXPECT_TRUE(vltest::TempDir::exists(fresh));
}

TEST(FileStreamOpener, AFolderIsNotAFile) {
  vltest::TempDir dir;
  int32_t result = 0;
  EXPECT_FALSE(openFile(dir.path(), multio::kOpenRead, &result));
  EXPECT_LT(result, 0);
  EXPECT_FALSE(openFile(dir.path(), multio::kOpenWrite | multio::kOpenTruncate | multio::kOpenCreate, &result));
  EXPECT_LT(result, 0);
}
