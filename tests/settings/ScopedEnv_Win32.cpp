#include <windows.h>

#include <vector>

#include "ScopedEnv.h"

namespace vltest {

ScopedEnv::ScopedEnv(const char* name, const char* value) : name_(name) {
  const DWORD size = GetEnvironmentVariableA(name, nullptr, 0);
  if (size > 0) {
    std::vector<char> buffer(size + 1);
    const DWORD length = GetEnvironmentVariableA(name, buffer.data(), size + 1);
    old_.assign(buffer.data(), length);
    hadOld_ = true;
  }
  SetEnvironmentVariableA(name, value);
}

ScopedEnv::~ScopedEnv() { SetEnvironmentVariableA(name_.c_str(), hadOld_ ? old_.c_str() : nullptr); }

const char* prefBaseVariable() { return "APPDATA"; }

}  // namespace vltest
