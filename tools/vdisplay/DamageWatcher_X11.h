#pragma once

#include <functional>
#include <string>

#include "comsrc/Rect.h"

struct DamageConnection;

// An X client of the stand-in's display that learns, through the DAMAGE extension, which
// rectangles of the screen were drawn to.
class DamageWatcher {
 public:
  DamageWatcher() = default;
  ~DamageWatcher();
  DamageWatcher(const DamageWatcher&) = delete;
  DamageWatcher& operator=(const DamageWatcher&) = delete;

  // Empty on success, else what is missing.
  std::string open(const std::string& displayName);
  int fd() const;
  // Reads what the server has sent and calls `drawn` with each drawn rectangle.
  void drain(const std::function<void(const comsrc::Rect&)>& drawn);
  void close();

 private:
  DamageConnection* c = nullptr;
};
