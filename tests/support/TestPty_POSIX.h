#pragma once

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

namespace vltest {

// Opens a terminal device (a pseudo-terminal's slave, the simulator's port) read-write, without
// making it the controlling terminal, in raw mode; -1 when it does not open.
int openRawTerminal(const std::string& path);

// A pseudo-terminal whose far side the test plays: the port opens the slave, the test reads
// (or refuses to read) the master. The test keeps a slave descriptor of its own, so that the
// master does not hang up whenever the port closes.
class TestPty {
 public:
  TestPty();
  ~TestPty() { unplug(); }
  TestPty(const TestPty&) = delete;
  TestPty& operator=(const TestPty&) = delete;

  bool ok() const { return master_ >= 0 && slave_ >= 0; }
  const std::string& path() const { return path_; }
  int slave() const { return slave_; }

  bool linkAs(const std::string& linkPath) const { return symlink(path_.c_str(), linkPath.c_str()) == 0; }

  // Reads what has arrived until count bytes are there or the time runs out.
  std::vector<unsigned char> readFor(size_t count, std::chrono::milliseconds limit) {
    std::vector<unsigned char> got;
    const auto end = std::chrono::steady_clock::now() + limit;
    while (got.size() < count && std::chrono::steady_clock::now() < end) {
      pollfd p{master_, POLLIN, 0};
      if (poll(&p, 1, 10) <= 0) continue;
      unsigned char buf[4096];
      const ssize_t n = read(master_, buf, sizeof buf);
      if (n > 0) got.insert(got.end(), buf, buf + n);
    }
    return got;
  }

  // Closes both sides: whoever still has the slave open sees the device vanish.
  void unplug() {
    if (slave_ >= 0) close(slave_);
    if (master_ >= 0) close(master_);
    slave_ = master_ = -1;
  }

 private:
  int master_ = -1;
  int slave_ = -1;
  std::string path_;
};

}  // namespace vltest
