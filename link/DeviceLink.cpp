#include "link/DeviceLink.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <mutex>
#include <thread>

#include "link/AutoResetEvent.h"
#include "link/SerialPort.h"
#include "link/WriterPriority.h"

namespace {

constexpr uint32_t kInitialRingSize = 3072;
constexpr auto kWriterWait = std::chrono::milliseconds(100000);
constexpr auto kStopGrace = std::chrono::milliseconds(900);  // to finish sending on its own; 1 s in all
constexpr auto kInterruptLimit = std::chrono::milliseconds(150);
constexpr auto kPollStep = std::chrono::milliseconds(5);
// How far the writer runs ahead of the line. The port's own buffer (some kilobytes on a tty, a
// second and more at the low speeds) would otherwise take the ring's bytes at once and hide how
// much is really waiting, and the frames measure the line by the ring.
constexpr double kLeadSeconds = 0.02;

}  // namespace

// What the writer thread shares with the link. The thread holds its own reference, so that a
// thread stuck in a write that cannot be interrupted is left to finish on its own instead of
// being killed or waited for without end.
struct LinkState {
  std::vector<uint8_t> ring;
  std::atomic<uint32_t> writePos{0};  // stored by enqueue only
  std::atomic<uint32_t> readPos{0};   // stored by the writer thread only
  std::atomic<uint8_t> writerRunning{0};
  std::atomic<uint8_t> stopRequested{0};
  std::unique_ptr<multio::Stream> serial;
  std::mutex ringLock;
  AutoResetEvent dataEvent;
  double bytesPerSecond = 0;  // 0: the stream takes bytes as fast as they come
  std::chrono::steady_clock::time_point lineFreeAt{};  // when the line has carried what was written

  // How many of `want` bytes may be written now, after waiting until the line has carried all
  // but kLeadSeconds of what went before; all of them when the link is stopping or unpaced.
  uint32_t paced(uint32_t want) {
    if (bytesPerSecond <= 0) return want;
    const uint32_t slice = static_cast<uint32_t>(std::max(1.0, bytesPerSecond * kLeadSeconds / 2));
    for (;;) {
      const auto now = std::chrono::steady_clock::now();
      if (lineFreeAt < now) lineFreeAt = now;
      const double ahead = std::chrono::duration<double>(lineFreeAt - now).count();
      const double room = (kLeadSeconds - ahead) * bytesPerSecond;
      if (stopRequested.load()) return want;
      const double need = std::min<double>(want, slice);
      if (room >= need) return std::min(want, std::max<uint32_t>(1, uint32_t(room)));
      std::this_thread::sleep_for(std::chrono::duration<double>(std::min((need - room) / bytesPerSecond, 0.02)));
    }
  }

  int32_t writePaced(const uint8_t* data, uint32_t count) {
    const uint32_t now = paced(count);
    const int32_t sent = serial->write(data, static_cast<int32_t>(now), 0);
    if (sent > 0 && bytesPerSecond > 0)
      lineFreeAt += std::chrono::duration_cast<std::chrono::steady_clock::duration>(
          std::chrono::duration<double>(sent / bytesPerSecond));
    return sent;
  }

  // The two positions, read together.
  void positions(uint32_t& w, uint32_t& r) {
    std::lock_guard<std::mutex> hold(ringLock);
    w = writePos.load(std::memory_order_acquire);
    r = readPos.load(std::memory_order_acquire);
  }

  void advanceRead(uint32_t r, uint32_t count) {
    uint32_t next = r + count;
    if (next >= ring.size()) next -= static_cast<uint32_t>(ring.size());
    readPos.store(next, std::memory_order_release);
  }

  void drain() {
    const uint32_t size = static_cast<uint32_t>(ring.size());
    for (;;) {
      uint32_t w, r;
      positions(w, r);
      const uint32_t first = r <= w ? w - r : size - r;
      if (first == 0) return;
      const int32_t sent = writePaced(ring.data() + r, first);
      if (sent < 0) return;  // the bytes stay queued for the next wake-up
      advanceRead(r, static_cast<uint32_t>(sent));
      // A short or paced write goes on from the new position; the ring's start follows once
      // its end is out.
    }
  }

  void run() {
    lowerThisThreadPriority();
    // Drains at least once, so that what was queued before a quick shutdown still goes out.
    for (;;) {
      if (!stopRequested.load()) dataEvent.wait(kWriterWait);  // a time-out counts like a signal
      if (serial) drain();
      if (stopRequested.load()) break;
    }
    writerRunning.store(0);
  }
};

struct DeviceLink::Impl {
  std::shared_ptr<LinkState> state = std::make_shared<LinkState>();
  std::thread writerThread;
  bool shutDown = false;
};

DeviceLink::DeviceLink(const char* portName, int32_t speed, int32_t cts)
    : DeviceLink(std::make_unique<SerialPort>(portName, speed, cts), speed) {}

DeviceLink::DeviceLink(std::unique_ptr<multio::Stream> serial, int32_t speed)
    : speed_(speed), impl(std::make_unique<Impl>()) {
  LinkState& s = *impl->state;
  s.serial = std::move(serial);
  s.bytesPerSecond = speed > 0 ? speed / 10.0 : 0;  // 10 bits a byte on the line
  s.ring.assign(kInitialRingSize, 0);
  s.writerRunning.store(1);  // before the thread runs, so shutdown always waits for it
  impl->writerThread = std::thread([shared = impl->state] { shared->run(); });
}

DeviceLink::~DeviceLink() { shutdown(); }

void DeviceLink::sizeRing(uint32_t size) {
  LinkState& s = *impl->state;
  if (impl->shutDown || size < 2) return;
  // The writer only looks at the ring once something is queued; nothing is yet.
  std::lock_guard<std::mutex> hold(s.ringLock);
  s.ring.assign(size, 0);
  s.writePos.store(0, std::memory_order_release);
  s.readPos.store(0, std::memory_order_release);
}

namespace {

// The free room as two stretches: from writePos on, and from the ring start. One byte always
// stays free, so that a full ring never looks empty.
void freeStretches(uint32_t size, uint32_t w, uint32_t r, uint32_t& first, uint32_t& second) {
  if (w < r) {
    first = r - w - 1;
    second = 0;
    return;
  }
  first = size - w;
  second = r;
  if (r > 0)
    --second;
  else
    --first;
}

}  // namespace

uint32_t DeviceLink::freeSpace() {
  LinkState& s = *impl->state;
  if (impl->shutDown) return 0;
  uint32_t w, r, first, second;
  s.positions(w, r);
  freeStretches(static_cast<uint32_t>(s.ring.size()), w, r, first, second);
  return first + second;
}

uint32_t DeviceLink::queued() {
  LinkState& s = *impl->state;
  if (impl->shutDown) return 0;
  uint32_t w, r;
  s.positions(w, r);
  return w >= r ? w - r : static_cast<uint32_t>(s.ring.size()) - r + w;
}

int32_t DeviceLink::enqueue(const uint8_t* data, uint32_t length) {
  LinkState& s = *impl->state;
  if (impl->shutDown) return -1;
  const uint32_t size = static_cast<uint32_t>(s.ring.size());
  uint32_t w, r, first, second;
  s.positions(w, r);
  freeStretches(size, w, r, first, second);
  if (static_cast<uint64_t>(first) + second < length) return -1;
  const uint32_t head = length < first ? length : first;
  std::memcpy(s.ring.data() + w, data, head);
  w += head;
  if (w == size) w = 0;
  if (length > head) {
    std::memcpy(s.ring.data(), data + head, length - head);
    w = length - head;
  }
  // Release: the writer that sees the new position also sees the bytes before it.
  s.writePos.store(w, std::memory_order_release);
  s.dataEvent.set();
  return 0;
}

void DeviceLink::shutdown() {
  if (impl->shutDown) return;
  impl->shutDown = true;
  std::shared_ptr<LinkState> s = impl->state;
  s->stopRequested.store(1);
  s->dataEvent.set();
  // The writer may first send what is queued, as long as the device takes it.
  const auto start = std::chrono::steady_clock::now();
  while (s->writerRunning.load() && std::chrono::steady_clock::now() - start < kStopGrace)
    std::this_thread::sleep_for(kPollStep);
  // A writer held up by the device (CTS inactive, a device that stopped reading) is woken
  // out of its write, never killed.
  auto* port = dynamic_cast<SerialPort*>(s->serial.get());
  const auto cut = std::chrono::steady_clock::now();
  while (s->writerRunning.load() && std::chrono::steady_clock::now() - cut < kInterruptLimit) {
    if (port) port->interrupt();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  if (!s->writerRunning.load()) {
    impl->writerThread.join();
    s->serial.reset();  // closes the port
    std::vector<uint8_t>().swap(s->ring);
  } else {
    // Still inside a write nothing could interrupt: the thread keeps the state (and the port)
    // alive until it comes out, and releases them then.
    impl->writerThread.detach();
  }
}

multio::Stream* DeviceLink::serial() const { return impl->shutDown ? nullptr : impl->state->serial.get(); }
