// vantela-sim: a Vantela device on a pseudo-terminal, for tests and for trying the program
// without hardware. See --help.
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/signalfd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "link/PortPath_POSIX.h"
#include "tools/common/PanelDecoder.h"
#include "tools/common/PngFile.h"
#include "tools/sim/PanelWindow_X11.h"
#include "tools/sim/SimOptions.h"
#include "tools/sim/SimTerminal.h"

namespace {

using Clock = std::chrono::steady_clock;

bool makeFolders(const std::string& folder) {
  for (size_t i = 1; i <= folder.size(); ++i) {
    if (i < folder.size() && folder[i] != '/') continue;
    const std::string part = folder.substr(0, i);
    if (::mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) return false;
  }
  return true;
}

void writePanel(const std::string& path, const PanelDecoder& decoder) {
  if (path.empty()) return;
  const std::vector<uint8_t> grey = decoder.grey();
  std::string error;
  if (!vltools::writePng(path, vltools::PngKind::mono1, PanelDecoder::kWidth, PanelDecoder::kHeight, grey.data(),
                         PanelDecoder::kWidth, error))
    std::fprintf(stderr, "vantela-sim: %s\n", error.c_str());
}

// Feeds bytes that crossed the line from lineStart on, at bytesPerSecond (0: all at once), and
// logs each record completed, at the time its last byte arrived, and whether it changed its
// panel line; logPanel holds the panel as the log has seen it so far.
void feedLogged(PanelDecoder& decoder, const uint8_t* data, size_t length, FILE* log, std::vector<uint8_t>& logPanel,
                Clock::time_point lineStart, double bytesPerSecond) {
  if (!log) {
    decoder.feed(data, length);
    return;
  }
  bool logged = false;
  for (size_t i = 0; i < length; ++i) {
    const uint64_t before = decoder.records();
    decoder.feed(data + i, 1);
    if (decoder.records() == before) continue;
    const double offset = bytesPerSecond > 0 ? static_cast<double>(i + 1) / bytesPerSecond : 0;
    const auto at = lineStart + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(offset));
    const size_t row = static_cast<size_t>(decoder.lastAddress() - 1) * PanelDecoder::kWidth;
    const auto line = decoder.panel().begin() + static_cast<ptrdiff_t>(row);
    const auto seen = logPanel.begin() + static_cast<ptrdiff_t>(row);
    const bool changed = !std::equal(line, line + PanelDecoder::kWidth, seen);
    if (changed) std::copy(line, line + PanelDecoder::kWidth, seen);
    std::fprintf(log, "%lld %d %d %d\n",
                 static_cast<long long>(std::chrono::duration_cast<std::chrono::nanoseconds>(at.time_since_epoch()).count()),
                 decoder.lastAddress(), decoder.lastBright(), changed ? 1 : 0);
    logged = true;
  }
  if (logged) std::fflush(log);
}

struct timespec toTimespec(Clock::duration d) {
  const int64_t ns = std::max<int64_t>(0, std::chrono::duration_cast<std::chrono::nanoseconds>(d).count());
  return {static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
}

}  // namespace

int main(int argc, char** argv) {
  SimOptions options;
  const int status = parseSimOptions(argc, argv, options);
  if (status >= 0) return status;

  std::string linkPath = options.link;
  if (options.port) {
    const std::string folder = defaultPortLocations().portsFolder;
    if (folder.empty() || !makeFolders(folder)) {
      std::fprintf(stderr, "vantela-sim: cannot make the ports folder %s\n", folder.c_str());
      return 1;
    }
    linkPath = folder + "/com" + std::to_string(options.port);
  }

  // Signals arrive as readable data, handled in the loop like the terminal.
  sigset_t signals;
  sigemptyset(&signals);
  for (int s : {SIGUSR1, SIGUSR2, SIGINT, SIGTERM, SIGHUP}) sigaddset(&signals, s);
  sigprocmask(SIG_BLOCK, &signals, nullptr);
  const int signalFd = signalfd(-1, &signals, SFD_CLOEXEC);

  FILE* wire = nullptr;
  if (!options.wire.empty() && !(wire = std::fopen(options.wire.c_str(), "wb"))) {
    std::fprintf(stderr, "vantela-sim: cannot write %s\n", options.wire.c_str());
    return 1;
  }
  FILE* log = nullptr;
  if (!options.log.empty() && !(log = std::fopen(options.log.c_str(), "w"))) {
    std::fprintf(stderr, "vantela-sim: cannot write %s\n", options.log.c_str());
    return 1;
  }

  PanelWindow window;
  if (options.window && !window.open()) std::fprintf(stderr, "vantela-sim: no X display, running without a window\n");

  SimTerminal terminal(linkPath);
  std::string error;
  if (!terminal.plug(error)) {
    std::fprintf(stderr, "vantela-sim: %s\n", error.c_str());
    return 1;
  }
  std::fprintf(stderr, "vantela-sim: %s -> %s\n", linkPath.c_str(), terminal.slavePath().c_str());

  PanelDecoder decoder;
  std::vector<uint8_t> logPanel = decoder.panel();
  const double bytesPerSecond = static_cast<double>(options.speed) / 10.0;
  // Paced reading takes about 5 ms of line time at once; the terminal's buffer holds the rest,
  // as a real device's receive buffer would.
  const size_t chunk = options.speed > 0 ? std::clamp<size_t>(static_cast<size_t>(bytesPerSecond / 200), 1, 4096) : 65536;
  std::vector<uint8_t> buffer(chunk);
  const auto start = Clock::now();
  const auto deadline = start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(options.seconds));
  auto lineFree = start;  // when the simulated line has carried everything read so far
  bool backlog = false;   // bytes were still waiting after the last read
  auto nextShow = start;
  bool shown = true;
  bool running = true;

  while (running) {
    const auto now = Clock::now();
    if (options.seconds > 0 && now >= deadline) break;
    if (!shown && now >= nextShow) {
      window.show(decoder.panel());
      shown = true;
      nextShow = now + std::chrono::milliseconds(40);
    }
    const bool mayRead = terminal.master() >= 0 && now >= lineFree;
    Clock::duration wait = std::chrono::seconds(1);
    if (options.seconds > 0) wait = std::min(wait, deadline - now);
    if (!mayRead) wait = std::min(wait, lineFree - now);
    if (!shown) wait = std::min(wait, nextShow - now);
    const struct timespec timeout = toTimespec(wait);

    struct pollfd p[3] = {{signalFd, POLLIN, 0}, {mayRead ? terminal.master() : -1, POLLIN, 0}, {window.connection(), POLLIN, 0}};
    if (ppoll(p, 3, &timeout, nullptr) < 0 && errno != EINTR) break;

    if (p[0].revents & POLLIN) {
      struct signalfd_siginfo info;
      if (read(signalFd, &info, sizeof info) == sizeof info) {
        if (info.ssi_signo == SIGUSR1) {
          writePanel(options.png, decoder);
        } else if (info.ssi_signo == SIGUSR2) {
          terminal.unplug();
          std::this_thread::sleep_for(std::chrono::duration<double>(options.away));
          if (!terminal.plug(error)) {
            std::fprintf(stderr, "vantela-sim: %s\n", error.c_str());
            running = false;
          } else {
            std::fprintf(stderr, "vantela-sim: %s -> %s\n", linkPath.c_str(), terminal.slavePath().c_str());
          }
          lineFree = Clock::now();
          backlog = false;
        } else {
          running = false;
        }
      }
    }
    if (p[1].revents & POLLIN) {
      const ssize_t n = read(terminal.master(), buffer.data(), buffer.size());
      if (n > 0) {
        // The line runs on while bytes wait: a late wake-up behind a backlog costs no line
        // time, while a line that had run dry starts again from now.
        const auto credit = backlog ? std::chrono::milliseconds(1000) : std::chrono::milliseconds(2);
        const auto lineStart = options.speed > 0 ? std::max(lineFree, Clock::now() - credit) : Clock::now();
        feedLogged(decoder, buffer.data(), static_cast<size_t>(n), log, logPanel, lineStart,
                   options.speed > 0 ? bytesPerSecond : 0);
        if (wire) {
          std::fwrite(buffer.data(), 1, static_cast<size_t>(n), wire);
          std::fflush(wire);
        }
        if (options.speed > 0) {
          const auto busy = std::chrono::duration<double>(static_cast<double>(n) / bytesPerSecond);
          lineFree = lineStart + std::chrono::duration_cast<Clock::duration>(busy);
          int waiting = 0;
          backlog = static_cast<size_t>(n) == buffer.size() ||
                    (ioctl(terminal.master(), FIONREAD, &waiting) == 0 && waiting > 0);
        }
        shown = false;
      }
    }
    if ((p[2].revents & POLLIN) || window.connection() >= 0)
      if (!window.handleEvents()) running = false;
  }

  // Unpaced, what the program has written has arrived; paced, only what the line carried.
  if (terminal.master() >= 0 && options.speed == 0) {
    ssize_t n;
    while ((n = read(terminal.master(), buffer.data(), buffer.size())) > 0) {
      feedLogged(decoder, buffer.data(), static_cast<size_t>(n), log, logPanel, Clock::now(), 0);
      if (wire) std::fwrite(buffer.data(), 1, static_cast<size_t>(n), wire);
    }
  }
  terminal.unplug();
  decoder.finish();
  if (wire) std::fclose(wire);
  if (log) std::fclose(log);
  writePanel(options.png, decoder);
  std::printf("records %llu bytes %llu skipped %llu\n", static_cast<unsigned long long>(decoder.records()),
              static_cast<unsigned long long>(decoder.bytes()), static_cast<unsigned long long>(decoder.skipped()));
  std::fflush(stdout);
  return 0;
}
