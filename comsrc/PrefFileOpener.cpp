#include "comsrc/PrefFileOpener.h"

#include <cstring>
#include <new>

namespace comsrc {

int32_t PrefFileOpener::setBase(const char* text, int32_t length) {
  if (text == nullptr) return kErrNoMemory;
  const size_t whole = std::strlen(text);
  const size_t count = (length <= 0 || static_cast<size_t>(length) > whole) ? whole : static_cast<size_t>(length);
  std::unique_ptr<char[]> copy(new (std::nothrow) char[count + 1]);
  if (!copy) return kErrNoMemory;
  std::memcpy(copy.get(), text, count);
  copy[count] = '\0';
  basePath = std::move(copy);
  return 0;
}

std::unique_ptr<char[]> PrefFileOpener::joinWith(char separator, const char* directory, const char* name) {
  if (directory == nullptr || name == nullptr) return nullptr;
  const size_t dirLength = std::strlen(directory);
  const size_t nameLength = std::strlen(name);
  std::unique_ptr<char[]> joined(new (std::nothrow) char[dirLength + nameLength + 2]);
  if (!joined) return nullptr;
  std::memcpy(joined.get(), directory, dirLength);
  joined[dirLength] = separator;
  std::memcpy(joined.get() + dirLength + 1, name, nameLength + 1);
  return joined;
}

}  // namespace comsrc
