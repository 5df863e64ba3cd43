// The text reader and writer over real files, and over scripted streams where a file cannot
// fail on demand.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "multio/StreamOpener.h"
#include "multio/TextReader_Stream.h"
#include "multio/TextWriter_Stream.h"
#include "support/TempDir.h"

using multio::Stream;
using multio::TextReader_Stream;
using multio::TextWriter_Stream;

namespace {

struct FileFixture {
  explicit FileFixture(const std::string& bytes) : path(dir.file("text.txt")) {
    vltest::TempDir::writeFile(path, bytes);
    multio::makeFileStreamOpener()->open(path.c_str(), multio::kOpenRead, stream);
  }
  ~FileFixture() {
    if (stream) stream->close();
  }
  vltest::TempDir dir;
  std::string path;
  std::unique_ptr<Stream> stream;
};

// Gives its bytes in reads of at most `chunk`, then `failure` (or 0 and the end).
class ScriptedStream : public Stream {
 public:
  ScriptedStream(std::string bytes, int32_t failure, int32_t chunk = 1 << 20)
      : bytes_(std::move(bytes)), failure_(failure), chunk_(chunk) {}
  int32_t read(void* buffer, int32_t count, int32_t flags) override {
    ++reads;
    if (position_ >= bytes_.size()) {
      if (failure_ == 0) end_ = true;
      return failure_;
    }
    const size_t n = std::min({static_cast<size_t>(count), static_cast<size_t>(chunk_), bytes_.size() - position_});
    std::memcpy(buffer, bytes_.data() + position_, n);
    position_ += n;
    return static_cast<int32_t>(n);
  }
  bool atEnd() override { return end_; }
  int reads = 0;

 private:
  std::string bytes_;
  int32_t failure_;
  int32_t chunk_;
  size_t position_ = 0;
  bool end_ = false;
};

// Accepts writes into a string until `limit` bytes, then returns short counts and errors.
class LimitedStream : public Stream {
 public:
  explicit LimitedStream(size_t limit) : limit_(limit) {}
  int32_t write(const void* buffer, int32_t count, int32_t flags) override {
    if (data.size() >= limit_) return -1;
    const size_t n = std::min(static_cast<size_t>(count), limit_ - data.size());
    data.append(static_cast<const char*>(buffer), n);
    return static_cast<int32_t>(n);
  }
  std::string data;

 private:
  size_t limit_;
};

}  // namespace

TEST(TextReader, CrLfLineThenUnterminatedLastLine) {
  FileFixture file("first\r\nsecond");
  ASSERT_TRUE(file.stream);
  TextReader_Stream reader(file.stream.get());
  std::string line;
  EXPECT_EQ(reader.readLine(line, -1), 5);
  EXPECT_EQ(line, "first");
  EXPECT_FALSE(reader.atEnd());
  EXPECT_EQ(reader.readLine(line, -1), 6);
  EXPECT_EQ(line, "second");
  EXPECT_TRUE(reader.atEnd());
}

TEST(TextReader, EmptyFileGivesOneEmptyLine) {
  FileFixture file("");
  TextReader_Stream reader(file.stream.get());
  std::string line = "stale";
  EXPECT_EQ(reader.readLine(line, -1), 0);
  EXPECT_EQ(line, "");
  EXPECT_TRUE(reader.atEnd());
}

TEST(TextReader, LineEndBytesOnlyGiveAnEmptyLine) {
  FileFixture file("\r\r\n\nx");
  TextReader_Stream reader(file.stream.get());
  std::string line;
  reader.readLine(line, -1);
  EXPECT_EQ(line, "");
  reader.readLine(line, -1);
  EXPECT_EQ(line, "");
  reader.readLine(line, -1);
  EXPECT_EQ(line, "x");
  EXPECT_TRUE(reader.atEnd());
}

TEST(TextReader, LongLineComesInRingSizedPieces) {
  const std::string head(4096, 'a');
  const std::string tail(904, 'b');
  FileFixture file(head + tail + "\nnext\n");
  TextReader_Stream reader(file.stream.get());
  std::string line;
  EXPECT_EQ(reader.readRawLine(line, -1), 4096);
  EXPECT_EQ(line, head);
  EXPECT_EQ(reader.readRawLine(line, -1), 905);
  EXPECT_EQ(line, tail + "\n");
  EXPECT_EQ(reader.readRawLine(line, -1), 5);
  EXPECT_EQ(line, "next\n");
  EXPECT_FALSE(reader.atEnd());
  EXPECT_EQ(reader.readRawLine(line, -1), 0);
  EXPECT_TRUE(reader.atEnd());
}

TEST(TextReader, ReadAheadDeliversTheSameLinesAndEndsOnlyWhenDrained) {
  std::string text;
  for (int i = 0; i < 300; ++i) text += "line " + std::to_string(i) + "\n";
  FileFixture file(text);
  TextReader_Stream reader(file.stream.get());
  std::string line;
  std::string joined;
  int lines = 0;
  while (!reader.atEnd()) {
    reader.readRawLine(line, 512);
    joined += line;
    if (!line.empty()) ++lines;
  }
  EXPECT_EQ(lines, 300);
  EXPECT_EQ(joined, text);
}

TEST(TextReader, CharsAndBlockReadsTakeBufferedBytesFirst) {
  FileFixture file("abcdefgh");
  TextReader_Stream reader(file.stream.get());
  EXPECT_EQ(reader.readChar(), 'a');
  EXPECT_EQ(reader.peek(2, 3), 'd');  // pulls b, c, d (and some more) into the ring
  EXPECT_GE(reader.buffered(), 3);
  char buffer[16] = {};
  EXPECT_EQ(reader.read(buffer, 16), 7);
  EXPECT_EQ(std::string(buffer, 7), "bcdefgh");
  EXPECT_EQ(reader.readChar(), 0);
  EXPECT_EQ(reader.peek(4097, -1), -1);
  EXPECT_EQ(reader.peek(-1, -1), -1);
}

TEST(TextReader, BinaryBytesPassThroughUnchanged) {
  const std::string bytes("a\0\xff\x80=\x01\n", 7);
  FileFixture file(bytes);
  TextReader_Stream reader(file.stream.get());
  std::string line;
  EXPECT_EQ(reader.readRawLine(line, -1), 7);
  EXPECT_EQ(line, bytes);
}

TEST(TextReader, FailingStreamEndsTheLineWithWhatArrived) {
  ScriptedStream failing("partial", -1, 3);
  TextReader_Stream reader(&failing);
  std::string line;
  EXPECT_EQ(reader.readLine(line, -1), 7);
  EXPECT_EQ(line, "partial");
  EXPECT_FALSE(reader.atEnd());
  EXPECT_EQ(reader.readLine(line, -1), 0);

  ScriptedStream passOn("ab", multio::kErrPassOn);
  TextReader_Stream second(&passOn);
  EXPECT_EQ(second.readRawLine(line, -1), 2);
  EXPECT_EQ(second.peek(0, -1), multio::kErrPassOn);
}

TEST(TextReader, StreamGivingNothingWithoutEndDoesNotHang) {
  struct NeverEnds : ScriptedStream {
    NeverEnds() : ScriptedStream("", 0) {}
    bool atEnd() override { return false; }
  } never;
  TextReader_Stream reader(&never);
  std::string line;
  EXPECT_EQ(reader.readRawLine(line, -1), 0);
  EXPECT_EQ(never.reads, 1);
}

TEST(TextReader, BlockReadReturnsRingBytesWhenTheStreamThenFails) {
  ScriptedStream failing("xy", -1);
  TextReader_Stream reader(&failing);
  EXPECT_EQ(reader.peek(1, -1), 'y');
  char buffer[8];
  EXPECT_EQ(reader.read(buffer, 8), 2);
  EXPECT_EQ(reader.read(buffer, 8), -1);
}

TEST(TextWriter, WriteLineAddsOnlyLf) {
  vltest::TempDir dir;
  const std::string path = dir.file("w.txt");
  std::unique_ptr<Stream> stream;
  ASSERT_EQ(multio::makeFileStreamOpener()->open(path.c_str(), 0x602, stream), 0);
  {
    TextWriter_Stream writer(stream.get(), 4096);
    EXPECT_EQ(writer.writeLine("a"), 2);
    EXPECT_EQ(writer.write("bc"), 2);
    EXPECT_EQ(writer.format("%s=%d\n", "K", 12), 5);
    EXPECT_EQ(writer.formatSized(8, "[%03d]", 7), 5);
    EXPECT_EQ(writer.flush(), 0);
    EXPECT_EQ(writer.getStream(), stream.get());
  }
  stream->close();
  EXPECT_EQ(vltest::TempDir::readFile(path), "a\nbcK=12\n[007]");
}

TEST(TextWriter, OutputLongerThanTheBufferIsWrittenWhole) {
  LimitedStream sink(1 << 20);
  TextWriter_Stream writer(&sink, 8);
  const std::string longText(5000, 'q');
  EXPECT_EQ(writer.format("<%s>", longText.c_str()), 5002);
  EXPECT_EQ(writer.formatSized(4, "%s!", "abcdef"), 7);
  EXPECT_EQ(sink.data, "<" + longText + ">abcdef!");
}

TEST(TextWriter, PassesStreamFailuresThrough) {
  LimitedStream sink(3);
  TextWriter_Stream writer(&sink, 64);
  EXPECT_EQ(writer.writeLine("abcd"), -1);  // the text went out short, then the LF failed
  EXPECT_EQ(sink.data, "abc");
  EXPECT_EQ(writer.writeLine("z"), -1);
  EXPECT_EQ(writer.format("%d", 5), -1);

  TextWriter_Stream orphan(nullptr, 64);
  EXPECT_EQ(orphan.write("x"), -1);
  EXPECT_EQ(orphan.format("x"), -1);
  EXPECT_EQ(orphan.formatSized(10, "x"), -1);
}
