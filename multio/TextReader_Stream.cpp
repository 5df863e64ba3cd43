#include "multio/TextReader_Stream.h"

#include <algorithm>
#include <new>

namespace multio {

TextReader_Stream::TextReader_Stream(Stream* stream) : stream(stream) {
  ring.reset(new (std::nothrow) unsigned char[kRingCapacity]);
  capacity = ring ? kRingCapacity : 0;
}

TextReader_Stream::~TextReader_Stream() = default;

int32_t TextReader_Stream::buffered() const {
  if (capacity == 0) return 0;
  return (writePos - readPos + capacity) % capacity;
}

void TextReader_Stream::append(const unsigned char* bytes, int32_t count) {
  for (int32_t i = 0; i < count; ++i) {
    ring[writePos] = bytes[i];
    writePos = (writePos + 1) % capacity;
  }
}

void TextReader_Stream::take(unsigned char* out, int32_t count) {
  for (int32_t i = 0; i < count; ++i) {
    out[i] = ring[readPos];
    readPos = (readPos + 1) % capacity;
  }
}

void TextReader_Stream::takeInto(std::string& out, int32_t count) {
  // At most two contiguous pieces: up to the storage end, then from the start.
  const int32_t first = std::min(count, capacity - readPos);
  out.append(reinterpret_cast<const char*>(&ring[readPos]), static_cast<size_t>(first));
  out.append(reinterpret_cast<const char*>(&ring[0]), static_cast<size_t>(count - first));
  if (count > 0) readPos = (readPos + count) % capacity;
}

int32_t TextReader_Stream::peek(int32_t index, int32_t readAhead) {
  if (index < 0 || index >= capacity || stream == nullptr) return kErrGeneric;
  unsigned char staging[kMaxRead];
  for (;;) {
    const int32_t have = buffered();
    if (have > index) return ring[(readPos + index) % capacity];
    const int64_t wanted = std::clamp<int64_t>(int64_t{index} + 1 - have + readAhead, 1, kMaxRead);
    const int32_t room = freeSpace();
    if (wanted > room) return kErrGeneric;
    const int32_t got = stream->read(staging, static_cast<int32_t>(wanted), 0);
    if (got <= 0) return got;  // includes kErrPassOn, which goes up at once
    append(staging, std::min<int32_t>({got, room, static_cast<int32_t>(wanted)}));
  }
}

int32_t TextReader_Stream::readChar() {
  fill(-1);
  if (buffered() == 0) return 0;
  unsigned char byte = 0;
  take(&byte, 1);
  return byte;
}

int32_t TextReader_Stream::read(void* buffer, int32_t count) {
  if (count <= 0 || buffer == nullptr) return 0;
  auto* out = static_cast<unsigned char*>(buffer);
  const int32_t fromRing = std::min(count, buffered());
  take(out, fromRing);
  if (fromRing == count) return count;
  if (stream == nullptr) return fromRing;
  const int32_t got = stream->read(out + fromRing, count - fromRing, 0);
  if (fromRing == 0) return got;
  return got < 0 ? fromRing : fromRing + got;
}

int32_t TextReader_Stream::readRawLine(std::string& out, int32_t readAhead) {
  out.clear();
  if (capacity == 0) return 0;
  out.reserve(static_cast<size_t>(capacity - 1));
  int32_t scanned = 0;
  for (;;) {
    const int32_t have = buffered();
    for (; scanned < have; ++scanned) {
      if (ring[(readPos + scanned) % capacity] == '\n') {
        takeInto(out, scanned + 1);
        return static_cast<int32_t>(out.size());
      }
    }
    // At the end of the input the last line needs no LF; a full ring delivers a 4096-byte piece.
    if (stream == nullptr || stream->atEnd() || have == capacity - 1) break;
    const int32_t result = peek(have, readAhead);
    // A failing stream, or one that gives nothing without reaching its end, ends the line here
    // rather than being asked again and again.
    if (result < 0 || buffered() == have) break;
  }
  takeInto(out, buffered());
  return static_cast<int32_t>(out.size());
}

int32_t TextReader_Stream::readLine(std::string& out, int32_t readAhead) {
  readRawLine(out, readAhead);
  size_t end = out.size();
  while (end > 0 && (out[end - 1] == '\r' || out[end - 1] == '\n')) --end;
  out.resize(end);
  return static_cast<int32_t>(end);
}

bool TextReader_Stream::atEnd() {
  // Bytes still buffered are input not yet delivered, even when the stream has run dry.
  return stream == nullptr || (stream->atEnd() && buffered() == 0);
}

}  // namespace multio
