#pragma once

#include <cstdarg>
#include <cstdint>
#include <memory>

#include "multio/Stream.h"
#include "multio/TextWriter.h"

namespace multio {

// Formats into its own buffer and writes to a stream it does not own. Results are the
// stream's, passed through; -1 without a stream or buffer.
class TextWriter_Stream : public TextWriter {
 public:
  TextWriter_Stream(Stream* stream, int32_t bufferSize);
  ~TextWriter_Stream() override;
  TextWriter_Stream(const TextWriter_Stream&) = delete;
  TextWriter_Stream& operator=(const TextWriter_Stream&) = delete;

  int32_t write(const char* text) override;
  // The text, then one LF; never a CR.
  int32_t writeLine(const char* text) override;
  int32_t format(const char* formatText, ...) override
#if defined(__GNUC__)
      __attribute__((format(printf, 2, 3)))
#endif
      ;
  int32_t flush() override;

  int32_t formatSized(int32_t size, const char* formatText, ...)
#if defined(__GNUC__)
      __attribute__((format(printf, 3, 4)))
#endif
      ;
  Stream* getStream() const { return stream; }

 private:
  int32_t formatInto(char* into, int32_t size, const char* formatText, va_list args);

  Stream* stream;
  std::unique_ptr<char[]> buffer;
  int32_t bufferSize = 0;
};

}  // namespace multio
