#pragma once

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <new>
#include <type_traits>
#include <utility>

namespace comsrc {

// A fixed-size array of plain values that starts all zero. It is taken zeroed from the
// allocator, so the pages of a large one come fresh from the system and cost nothing until
// written; a vector(n, 0) writes every page at once, and a program that uses only part of
// its buffers pays for all of them.
template <class T>
class ZeroedArray {
  static_assert(std::is_trivially_copyable_v<T>, "the items are zero bytes and copied as bytes");

 public:
  explicit ZeroedArray(size_t count) : items(take(count)), length(count) {}
  ~ZeroedArray() { std::free(items); }
  ZeroedArray(const ZeroedArray& other) : items(take(other.length)), length(other.length) {
    if (length > 0) std::memcpy(items, other.items, length * sizeof(T));
  }
  ZeroedArray(ZeroedArray&& other) noexcept
      : items(std::exchange(other.items, nullptr)), length(std::exchange(other.length, 0)) {}
  ZeroedArray& operator=(ZeroedArray other) noexcept {
    std::swap(items, other.items);
    std::swap(length, other.length);
    return *this;
  }

  T* data() { return items; }
  const T* data() const { return items; }
  size_t size() const { return length; }
  T& operator[](size_t i) { return items[i]; }
  const T& operator[](size_t i) const { return items[i]; }
  T* begin() { return items; }
  T* end() { return items + length; }
  const T* begin() const { return items; }
  const T* end() const { return items + length; }
  T& back() { return items[length - 1]; }
  const T& back() const { return items[length - 1]; }

 private:
  static T* take(size_t count) {
    if (count == 0) return nullptr;
    void* p = std::calloc(count, sizeof(T));
    if (!p) throw std::bad_alloc();
    return static_cast<T*>(p);
  }

  T* items;
  size_t length;
};

}  // namespace comsrc
