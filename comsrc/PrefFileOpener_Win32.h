#pragma once

#include "comsrc/PrefFileOpener.h"

namespace comsrc {

// The preference base is %APPDATA%, else "Application Data" in the Windows directory (created
// when missing); paths are joined with '\'.
class PrefFileOpener_Win32 : public PrefFileOpener {
 public:
  int32_t open(const char* name, int32_t flags, std::unique_ptr<multio::Stream>& out) override;
  int32_t locateBase() override;
  int32_t enterFolder(const char* name) override;
  std::unique_ptr<char[]> join(const char* directory, const char* name) override;
  bool separates(char c) const override { return c == '\\' || c == '/'; }
  bool baseIsFolder() const override;
  int32_t replaceFile(const char* from, const char* to) override;
  int32_t removeFile(const char* name) override;
};

}  // namespace comsrc
