#pragma once

#include <cstdint>
#include <memory>

#include "multio/StreamOpener.h"

namespace comsrc {

// Finds the per-user preference folder, descends into the program's folder (creating it on
// demand) and opens files there. `open` takes a name inside the base folder.
class PrefFileOpener : public multio::StreamOpener {
 public:
  enum Error : int32_t {
    kErrNoMemory = -1,         // setBase
    kErrFallbackFolder = -2,   // the fallback folder below the system's base is not usable
    kErrNotFolder = -8,        // the name exists but is not a folder
    kErrCreateFolder = -16,    // the folder could not be created
    kErrNoBase = -128,         // no base folder, or a join failed
  };

  ~PrefFileOpener() override = default;

  virtual int32_t locateBase() = 0;
  virtual int32_t enterFolder(const char* name) = 0;
  virtual const char* getBase() const { return basePath.get(); }
  // Copies `length` characters of `text` (the whole text when length <= 0) as the new base.
  virtual int32_t setBase(const char* text, int32_t length);
  // directory + the platform's separator + name, owned by the caller; null when out of memory.
  virtual std::unique_ptr<char[]> join(const char* directory, const char* name) = 0;
  // Whether c ends a folder's name in a path.
  virtual bool separates(char c) const { return c == '/'; }
  // Whether the base names an existing folder (an empty base: the root).
  virtual bool baseIsFolder() const = 0;

  // Puts the file `from` in the place of `to` (both inside the base) in one step, replacing it
  // when it exists; 0 or minus the system's error number.
  virtual int32_t replaceFile(const char* from, const char* to) = 0;
  virtual int32_t removeFile(const char* name) = 0;

 protected:
  static std::unique_ptr<char[]> joinWith(char separator, const char* directory, const char* name);

  std::unique_ptr<char[]> basePath;
};

// The platform's opener (PrefFileOpener_Win32 or PrefFileOpener_POSIX); null when out of memory.
std::unique_ptr<PrefFileOpener> makePrefFileOpener();

}  // namespace comsrc
