#include "multio/TextWriter_Stream.h"

#include <cstdio>
#include <cstring>
#include <new>

namespace multio {

TextWriter_Stream::TextWriter_Stream(Stream* stream, int32_t bufferSize) : stream(stream) {
  if (bufferSize > 0) buffer.reset(new (std::nothrow) char[static_cast<size_t>(bufferSize)]);
  this->bufferSize = buffer ? bufferSize : 0;
}

TextWriter_Stream::~TextWriter_Stream() = default;

int32_t TextWriter_Stream::write(const char* text) {
  if (stream == nullptr) return kErrGeneric;
  if (text == nullptr) text = "";
  return stream->write(text, static_cast<int32_t>(std::strlen(text)), 0);
}

int32_t TextWriter_Stream::writeLine(const char* text) {
  const int32_t first = write(text);
  if (first < 1) return first;
  const int32_t second = stream->write("\n", 1, 0);
  if (second < 1) return second;
  return first + second;
}

int32_t TextWriter_Stream::formatInto(char* into, int32_t size, const char* formatText, va_list args) {
  va_list again;
  va_copy(again, args);
  const int needed = std::vsnprintf(into, static_cast<size_t>(size), formatText, args);
  if (needed < 0) {
    va_end(again);
    return kErrGeneric;
  }
  if (needed < size) {
    va_end(again);
    return stream->write(into, needed, 0);
  }
  // Longer than the buffer: format once more into a block that fits, rather than cut the text.
  std::unique_ptr<char[]> larger(new (std::nothrow) char[static_cast<size_t>(needed) + 1]);
  int32_t result = kErrGeneric;
  if (larger && std::vsnprintf(larger.get(), static_cast<size_t>(needed) + 1, formatText, again) == needed)
    result = stream->write(larger.get(), needed, 0);
  va_end(again);
  return result;
}

int32_t TextWriter_Stream::format(const char* formatText, ...) {
  if (stream == nullptr || !buffer || formatText == nullptr) return kErrGeneric;
  va_list args;
  va_start(args, formatText);
  const int32_t result = formatInto(buffer.get(), bufferSize, formatText, args);
  va_end(args);
  return result;
}

int32_t TextWriter_Stream::formatSized(int32_t size, const char* formatText, ...) {
  if (stream == nullptr || size <= 0 || formatText == nullptr) return kErrGeneric;
  std::unique_ptr<char[]> temporary(new (std::nothrow) char[static_cast<size_t>(size)]);
  if (!temporary) return kErrGeneric;
  va_list args;
  va_start(args, formatText);
  const int32_t result = formatInto(temporary.get(), size, formatText, args);
  va_end(args);
  return result;
}

int32_t TextWriter_Stream::flush() { return stream == nullptr ? kErrGeneric : stream->flush(); }

}  // namespace multio
