#pragma once

#include <string>

// A pseudo-terminal standing in for the device's USB serial port, reachable through a symbolic
// link. The simulator holds the terminal's other side open itself, so the master never reports
// a hang-up merely because the program closed the port.
class SimTerminal {
 public:
  explicit SimTerminal(std::string linkPath) : linkPath_(std::move(linkPath)) {}
  ~SimTerminal() { unplug(); }
  SimTerminal(const SimTerminal&) = delete;
  SimTerminal& operator=(const SimTerminal&) = delete;

  // Opens a new terminal and points the link at it. False with a message in error on failure.
  bool plug(std::string& error);
  // Closes the terminal (writers see the device vanish) and removes the link.
  void unplug();

  int master() const { return master_; }
  const std::string& slavePath() const { return slavePath_; }

 private:
  std::string linkPath_;
  std::string slavePath_;
  int master_ = -1;
  int slave_ = -1;
};
