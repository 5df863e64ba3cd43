#pragma once

#include <cstdint>

namespace multio {

// Writes texts and formatted lines. The base class accepts everything and returns 0.
class TextWriter {
 public:
  virtual ~TextWriter() = default;

  virtual int32_t write(const char* text) { return 0; }
  virtual int32_t writeLine(const char* text) { return 0; }
  virtual int32_t format(const char* formatText, ...) { return 0; }
  virtual int32_t flush() { return 0; }
};

}  // namespace multio
