#include "settings/PrefStore.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <string>

#include "multio/TextReader.h"
#include "multio/TextReader_Stream.h"
#include "multio/TextWriter.h"

namespace {

constexpr const char* kBlanks = " \r\n\t";

bool isBlank(char c) { return c == ' ' || c == '\r' || c == '\n' || c == '\t'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isHexDigit(char c) { return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
bool isCSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// Whether an out-of-range number is too large (rather than too small): its leading digit's
// place plus its exponent. The two cases lie hundreds of orders of magnitude apart.
bool overflows(const char* p, bool hex) {
  auto digit = [hex](char c) { return hex ? isHexDigit(c) : isDigit(c); };
  int64_t place = 0;
  bool seen = false;
  int64_t integerDigits = 0, fractionZeros = 0;
  for (; digit(*p); ++p) {
    if (*p != '0' || seen) {
      seen = true;
      ++integerDigits;
    }
  }
  if (*p == '.') {
    for (++p; digit(*p); ++p) {
      if (!seen && *p == '0')
        ++fractionZeros;
      else
        seen = true;
    }
  }
  const int64_t scale = hex ? 4 : 1;
  place = integerDigits > 0 ? (integerDigits - 1) * scale : -(fractionZeros + 1) * scale;
  if ((hex && (*p == 'p' || *p == 'P')) || (!hex && (*p == 'e' || *p == 'E'))) {
    ++p;
    const bool negative = *p == '-';
    if (*p == '-' || *p == '+') ++p;
    int64_t exponent = 0;
    for (; isDigit(*p); ++p) exponent = exponent < 1000000000 ? exponent * 10 + (*p - '0') : exponent;
    place += negative ? -exponent : exponent;
  }
  return place >= 0;
}

}  // namespace

PrefStore::PrefStore() = default;

PrefStore::~PrefStore() { clear(); }

void PrefStore::clear() {
  for (int32_t i = 0; i < kCapacity; ++i) {
    blocks[i].reset();
    keys[i] = nullptr;
    values[i] = nullptr;
  }
  count = 0;
}

int32_t PrefStore::setLine(const char* text) {
  if (text == nullptr || std::strchr(text, '=') == nullptr) return kNoValue;
  const size_t length = std::strlen(text);
  std::unique_ptr<char[]> block(new (std::nothrow) char[length + 1]);
  if (!block) return kNoMemory;
  std::memcpy(block.get(), text, length + 1);

  char* equals = std::strchr(block.get(), '=');
  *equals = ' ';
  char* key = block.get();
  key[std::strcspn(key, kBlanks)] = '\0';  // ends at the latest where '=' was
  char* value = equals + 1;
  while (isBlank(*value)) ++value;
  if (*value == '\0') return kNoValue;
  for (char* c = key; *c != '\0'; ++c)
    if (*c >= 'a' && *c <= 'z') *c = static_cast<char>(*c - 'a' + 'A');

  for (int32_t i = 0; i < count; ++i) {
    if (std::strcmp(keys[i], key) == 0) {
      blocks[i] = std::move(block);
      keys[i] = key;
      values[i] = value;
      return kStored;
    }
  }
  if (count < kCapacity) {
    blocks[count] = std::move(block);
    keys[count] = key;
    values[count] = value;
    ++count;
  }
  return kStored;
}

const char* PrefStore::find(const char* key) const {
  if (key == nullptr) return nullptr;
  for (int32_t i = 0; i < count; ++i)
    if (std::strcmp(keys[i], key) == 0) return values[i];
  return nullptr;
}

void PrefStore::erase(const char* key) {
  int32_t at = 0;
  while (at < count && !(key && std::strcmp(keys[at], key) == 0)) ++at;
  if (at == count) return;
  for (int32_t i = at; i + 1 < count; ++i) {
    blocks[i] = std::move(blocks[i + 1]);
    keys[i] = keys[i + 1];
    values[i] = values[i + 1];
  }
  --count;
  blocks[count].reset();
  keys[count] = values[count] = nullptr;
}

int32_t PrefStore::parseInt(const char* text) {
  // Wider than 32 bits everywhere, then clamped: the same file reads the same on every platform.
  const long long wide = std::strtoll(text, nullptr, 0);
  if (wide > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  if (wide < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(wide);
}

double PrefStore::parseReal(const char* text) {
  // from_chars never consults the locale; the rest gives it strtod's leading blanks, '+' sign
  // and "0x" prefix, and its results outside the range of double.
  const char* p = text;
  while (isCSpace(*p)) ++p;
  const bool negative = *p == '-';
  if (*p == '-' || *p == '+') ++p;
  if (*p == '-' || *p == '+') return 0.0;
  bool hex = false;
  if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X') && (isHexDigit(p[2]) || (p[2] == '.' && isHexDigit(p[3])))) {
    hex = true;
    p += 2;
  }
  const char* end = p + std::strlen(p);
  double value = 0.0;
  const auto result = std::from_chars(p, end, value, hex ? std::chars_format::hex : std::chars_format::general);
  if (result.ec == std::errc::result_out_of_range)
    value = overflows(p, hex) ? HUGE_VAL : 0.0;
  else if (result.ec != std::errc())
    return 0.0;
  return negative ? -value : value;
}

int32_t PrefStore::getInt(const char* key, int32_t fallback) const {
  const char* value = find(key);
  return value != nullptr ? parseInt(value) : fallback;
}

double PrefStore::getReal(const char* key, double fallback) const {
  const char* value = find(key);
  return value != nullptr ? parseReal(value) : fallback;
}

void PrefStore::applyLine(const char* line, size_t length) {
  char text[kLineLimit + 1];
  if (length > static_cast<size_t>(kLineLimit)) length = kLineLimit;
  std::memcpy(text, line, length);
  text[length] = '\0';
  if (char* comment = std::strchr(text, '#')) *comment = '\0';
  if (std::strchr(text, '=') == nullptr) return;
  size_t end = std::strlen(text);
  while (end > 0 && isBlank(text[end - 1])) --end;
  text[end] = '\0';
  const char* start = text;
  while (isBlank(*start)) ++start;
  if (*start == '\0') return;
  setLine(start);
}

int32_t PrefStore::readAll(multio::TextReader& reader) {
  // Reading ahead gives the same lines as reading byte by byte, at one system call per 2 KiB
  // instead of one per byte, whatever the size of the file.
  constexpr int32_t kReadAhead = multio::TextReader_Stream::kMaxRead - 1;
  std::string piece;
  // A line longer than the reader's ring arrives in pieces; only its first bytes count, so
  // the pieces after the first are passed over rather than read as lines of their own.
  bool insideLongLine = false;
  for (;;) {
    reader.readRawLine(piece, kReadAhead);
    const bool atEnd = reader.atEnd();
    const bool lineEnds = (!piece.empty() && piece.back() == '\n') || atEnd;
    if (!insideLongLine) {
      size_t length = piece.size();
      while (length > 0 && (piece[length - 1] == '\r' || piece[length - 1] == '\n')) --length;
      applyLine(piece.data(), length);
    }
    insideLongLine = !lineEnds;
    // An empty piece before the end means the stream failed: asking again would not help.
    if (atEnd || piece.empty()) break;
  }
  return 0;
}

int32_t PrefStore::writeAll(multio::TextWriter& writer) const {
  for (int32_t i = 0; i < count; ++i) {
    const size_t expected = std::strlen(keys[i]) + std::strlen(values[i]) + 2;
    const int32_t written = writer.format("%s=%s\n", keys[i], values[i]);
    if (written < 0 || static_cast<size_t>(written) != expected) return kWriteFailed;
  }
  return 0;
}
