#pragma once

#include <cstdint>
#include <memory>

namespace multio {
class TextReader;
class TextWriter;
}  // namespace multio

// The key/value table between the settings records and the settings file: up to 256 entries
// in insertion order, keys upper-cased, values as text. Each entry owns one block holding the
// line that made it, cut into key and value.
class PrefStore {
 public:
  static constexpr int32_t kCapacity = 256;
  static constexpr int32_t kLineLimit = 1023;  // bytes of a file line that count

  enum Result : int32_t { kStored = 0, kNoMemory = -1, kNoValue = -2, kWriteFailed = -1 };

  PrefStore();
  ~PrefStore();
  PrefStore(const PrefStore&) = delete;
  PrefStore& operator=(const PrefStore&) = delete;

  // "key=value" (blanks allowed around '='): stored, replaced in place, or dropped when the
  // table is full, all 0; -1 out of memory; -2 when there is no '=' or no value.
  int32_t setLine(const char* text);
  // Base-0 integer like strtol where long has 32 bits (out-of-range numbers give the nearest
  // bound); the fallback when the key is missing.
  int32_t getInt(const char* key, int32_t fallback) const;
  // Real number like strtod in the "C" locale, whatever the process locale.
  double getReal(const char* key, double fallback) const;
  // Applies every line of the reader under the file's reading rules; 0.
  int32_t readAll(multio::TextReader& reader);
  // "key=value\n" per entry in order; 0, or -1 when a line did not go out whole.
  int32_t writeAll(multio::TextWriter& writer) const;
  void clear();

  int32_t size() const { return count; }
  const char* keyAt(int32_t index) const { return index >= 0 && index < count ? keys[index] : nullptr; }
  const char* valueAt(int32_t index) const { return index >= 0 && index < count ? values[index] : nullptr; }
  // The value of the first entry whose key equals `key` byte for byte, or null.
  const char* find(const char* key) const;
  // Drops the entry of `key` (upper case, as stored), keeping the others in order.
  void erase(const char* key);

  static int32_t parseInt(const char* text);
  static double parseReal(const char* text);

 private:
  void applyLine(const char* line, size_t length);

  std::unique_ptr<char[]> blocks[kCapacity];
  char* keys[kCapacity] = {};
  char* values[kCapacity] = {};
  int32_t count = 0;
};
