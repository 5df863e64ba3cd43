#include <cstdlib>

#include "ScopedEnv.h"

namespace vltest {

static void put(const std::string& name, const char* value) {
  if (value != nullptr)
    setenv(name.c_str(), value, 1);
  else
    unsetenv(name.c_str());
}

ScopedEnv::ScopedEnv(const char* name, const char* value) : name_(name) {
  if (const char* old = std::getenv(name)) {
    old_ = old;
    hadOld_ = true;
  }
  put(name_, value);
}

ScopedEnv::~ScopedEnv() { put(name_, hadOld_ ? old_.c_str() : nullptr); }

const char* prefBaseVariable() { return "XDG_CONFIG_HOME"; }

}  // namespace vltest
