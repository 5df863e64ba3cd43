#pragma once

#include <cstdint>
#include <string>

namespace multio {

// Reads bytes and lines. The base class is an empty source: 0, an empty text or false.
class TextReader {
 public:
  virtual ~TextReader() = default;

  virtual int32_t query() { return 0; }
  // The next byte, or 0 when nothing is left.
  virtual int32_t readChar() { return 0; }
  virtual int32_t read(void* buffer, int32_t count) { return 0; }
  // The next line including its LF (none on the last line of the input); returns its length.
  virtual int32_t readRawLine(std::string& out, int32_t readAhead) {
    out.clear();
    return 0;
  }
  // The same line without its trailing CR and LF bytes.
  virtual int32_t readLine(std::string& out, int32_t readAhead) {
    out.clear();
    return 0;
  }
  virtual bool atEnd() { return false; }
};

}  // namespace multio
