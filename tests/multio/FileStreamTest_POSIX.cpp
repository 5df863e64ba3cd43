// What only the Linux file stream and opener have: descriptors and errno codes.
#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>

#include "multio/StreamOpener_File_POSIXFile.h"
#include "multio/Stream_POSIXFile.h"
#include "support/TempDir.h"

using multio::Stream_POSIXFile;

TEST(Stream_POSIXFile, AttachRefusesASecondDescriptor) {
  vltest::TempDir dir;
  ASSERT_TRUE(vltest::TempDir::writeFile(dir.file("a"), "A"));
  ASSERT_TRUE(vltest::TempDir::writeFile(dir.file("b"), "B"));
  const int a = ::open(dir.file("a").c_str(), O_RDONLY | O_CLOEXEC);
  const int b = ::open(dir.file("b").c_str(), O_RDONLY | O_CLOEXEC);
  Stream_POSIXFile stream;
  EXPECT_TRUE(stream.atEnd());
  EXPECT_EQ(stream.flush(), -15);
  EXPECT_EQ(stream.attach(a), 0);
  EXPECT_EQ(stream.attach(b), -13);
  char c = 0;
  EXPECT_EQ(stream.read(&c, 1, 0), 1);
  EXPECT_EQ(c, 'A');
  stream.close();
  ::close(b);
}

TEST(Stream_POSIXFile, CloseTwiceLeavesAReusedDescriptorAlone) {
  vltest::TempDir dir;
  ASSERT_TRUE(vltest::TempDir::writeFile(dir.file("a"), "A"));
  Stream_POSIXFile stream(::open(dir.file("a").c_str(), O_RDONLY | O_CLOEXEC));
  const int number = stream.descriptor();
  EXPECT_EQ(stream.close(), 0);
  const int reused = ::open(dir.file("a").c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_EQ(reused, number);  // the lowest free number comes back
  EXPECT_EQ(stream.close(), 0);
  EXPECT_EQ(fcntl(reused, F_GETFD), FD_CLOEXEC);
  ::close(reused);
}

TEST(Stream_POSIXFile, DestructionClosesAnOpenDescriptor) {
  vltest::TempDir dir;
  ASSERT_TRUE(vltest::TempDir::writeFile(dir.file("a"), "A"));
  int number;
  {
    Stream_POSIXFile stream(::open(dir.file("a").c_str(), O_RDONLY | O_CLOEXEC));
    number = stream.descriptor();
  }
  EXPECT_EQ(fcntl(number, F_GETFD), -1);
  EXPECT_EQ(errno, EBADF);
}

TEST(StreamOpener_File_POSIXFile, FailuresAreMinusErrno) {
  vltest::TempDir dir;
  multio::StreamOpener_File_POSIXFile opener;
  std::unique_ptr<multio::Stream> stream;
  EXPECT_EQ(opener.open(dir.file("missing").c_str(), multio::kOpenRead, stream), -ENOENT);
  EXPECT_FALSE(stream);
  ASSERT_TRUE(vltest::TempDir::writeFile(dir.file("there"), ""));
  EXPECT_EQ(opener.open(dir.file("there").c_str(), multio::kOpenWrite | multio::kOpenCreateNew, stream), -EEXIST);
  EXPECT_EQ(opener.open(dir.path().c_str(), multio::kOpenRead, stream), -EISDIR);
  EXPECT_EQ(opener.open(nullptr, multio::kOpenRead, stream), -ENOENT);
  EXPECT_FALSE(stream);
}

TEST(StreamOpener_File_POSIXFile, FifoWithoutWriterDoesNotBlock) {
  vltest::TempDir dir;
  const std::string fifo = dir.file("fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  multio::StreamOpener_File_POSIXFile opener;
  std::unique_ptr<multio::Stream> stream;
  ASSERT_EQ(opener.open(fifo.c_str(), multio::kOpenRead, stream), 0);
  char c;
  EXPECT_EQ(stream->read(&c, 1, 0), 0);
  EXPECT_TRUE(stream->atEnd());
  stream->close();
}
