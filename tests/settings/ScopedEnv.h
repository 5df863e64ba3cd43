#pragma once

#include <string>

namespace vltest {

// Sets (or, with null, removes) an environment variable of this process for one scope and
// puts the old value back afterwards.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_;
  std::string old_;
  bool hadOld_ = false;
};

// The variable that names the preference base on this platform: XDG_CONFIG_HOME or APPDATA.
const char* prefBaseVariable();

}  // namespace vltest
