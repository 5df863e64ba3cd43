#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>

// The stand-in's own X server: Xvfb with its frame buffer in a file of `fbdir`.
class XvfbProcess {
 public:
  XvfbProcess() = default;
  ~XvfbProcess() { stop(); }
  XvfbProcess(const XvfbProcess&) = delete;
  XvfbProcess& operator=(const XvfbProcess&) = delete;

  // Starts Xvfb on display `number` (-1: the first free one) and waits until it takes clients.
  // Empty on success, else what went wrong.
  std::string start(int32_t number, int32_t width, int32_t height, const std::string& fbdir);
  int32_t number() const { return number_; }
  // True once Xvfb has ended by itself.
  bool ended();
  void stop();

 private:
  pid_t pid_ = -1;
  int32_t number_ = -1;
};
