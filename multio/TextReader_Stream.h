#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "multio/Stream.h"
#include "multio/TextReader.h"

namespace multio {

// A line reader over a stream it does not own, buffered in a ring of 4096 usable bytes.
class TextReader_Stream : public TextReader {
 public:
  static constexpr int32_t kRingCapacity = 4097;  // one slot stays free to tell full from empty
  static constexpr int32_t kMaxRead = 2048;

  explicit TextReader_Stream(Stream* stream);
  ~TextReader_Stream() override;
  TextReader_Stream(const TextReader_Stream&) = delete;
  TextReader_Stream& operator=(const TextReader_Stream&) = delete;

  int32_t query() override { return 0; }
  int32_t readChar() override;
  int32_t read(void* buffer, int32_t count) override;
  int32_t readRawLine(std::string& out, int32_t readAhead) override;
  int32_t readLine(std::string& out, int32_t readAhead) override;
  bool atEnd() override;

  int32_t fill(int32_t readAhead) { return peek(0, readAhead); }
  // The byte `index` places after the read position (0 to 255), pulling bytes from the stream
  // as needed; 0 when the stream gave nothing, or a negative code.
  int32_t peek(int32_t index, int32_t readAhead);

  int32_t buffered() const;

 private:
  int32_t freeSpace() const { return capacity == 0 ? 0 : capacity - 1 - buffered(); }
  void append(const unsigned char* bytes, int32_t count);
  void take(unsigned char* out, int32_t count);
  void takeInto(std::string& out, int32_t count);

  Stream* stream;
  std::unique_ptr<unsigned char[]> ring;
  int32_t capacity = 0;
  int32_t readPos = 0;
  int32_t writePos = 0;
};

}  // namespace multio
