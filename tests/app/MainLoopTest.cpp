#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "app/AppState.h"
#include "app/MainLoop.h"
#include "link/DeviceLink.h"
#include "multio/Stream.h"
#include "source/SourceFakes.h"

namespace {

// The loop's surroundings, each call logged; time moves only when the loop waits, a message
// is looked for (1 ms) or a frame runs (frameMs). A source that tells drawings (tells = true)
// reports the ones scheduled in drawingsAtMs, and a drawing ends a wait early.
class FakeServices : public LoopServices {
 public:
  FakeServices(AppState& app, vltest::FakeCounter& clock) : app(app), clock(clock) {}

  ui::Pumped pumpMessage() override {
    clock.advanceMs(1);
    if (quitAfter >= 0 && passes++ >= quitAfter) return ui::Pumped::quit;
    return ui::Pumped::none;
  }
  void waitForEvents(uint32_t ms, bool drawings) override {
    log.push_back("wait" + std::to_string(ms));
    int64_t until = nowMs() + ms;
    for (int64_t at : drawingsAtMs)
      if (tells && drawings && at > nowMs() && at < until) until = at;
    clock.setMs(until);
  }
  FrameWork changePending() override {
    if (!tells) return FrameWork::unknown;
    for (int64_t at : drawingsAtMs)
      if (at <= nowMs() && at > lastFrameMs) return FrameWork::change;
    return nowMs() < resendUntilMs ? FrameWork::resendDue : FrameWork::nothing;
  }
  void showStatus() override { log.push_back("status"); }
  bool resumeReported() override { return std::exchange(resumeTold, false); }
  int64_t nowMs() const { return clock.count / 1000; }
  int32_t discoverDisplays() override {
    log.push_back("discover");
    app.sources.sourceReady = sourceComesBack;
    return 0;
  }
  int32_t openLinks() override {
    log.push_back("open");
    app.devices.anyDeviceActive = devicesActive;
    app.devices.linksOpen = devicesActive && portsOpen;
    return app.devices.linksOpen ? 0 : -1;
  }
  int32_t rebuildSource() override {
    log.push_back("rebuild");
    return 0;
  }
  int32_t checkDriver() override {
    log.push_back("check");
    return driverAnswers ? 0 : -1;
  }
  void produceFrame() override {
    log.push_back("frame@" + std::to_string(clock.count / 1000));
    lastFrameMs = nowMs();
    clock.advanceMs(frameMs);
  }

  // The log without the waits and status updates, for the order of the call-outs.
  std::vector<std::string> calls() const {
    std::vector<std::string> out;
    for (const std::string& s : log)
      if (s.rfind("wait", 0) != 0 && s != "status") out.push_back(s);
    return out;
  }
  std::vector<int64_t> frameTimes() const {
    std::vector<int64_t> out;
    for (const std::string& s : log)
      if (s.rfind("frame@", 0) == 0) out.push_back(std::stoll(s.substr(6)));
    return out;
  }
  size_t count(const std::string& what) const {
    size_t n = 0;
    for (const std::string& s : log) n += s.rfind(what, 0) == 0;
    return n;
  }

  AppState& app;
  vltest::FakeCounter& clock;
  std::vector<std::string> log;
  int32_t quitAfter = -1;
  int passes = 0;
  int32_t sourceComesBack = 1, devicesActive = 1, portsOpen = 1, driverAnswers = 1;
  int64_t frameMs = 2;
  bool tells = false;
  std::vector<int64_t> drawingsAtMs;
  int64_t resendUntilMs = 0;  // lines are due to be resent until then
  int64_t lastFrameMs = 0;
  bool resumeTold = false;  // the window was told the machine woke
};

// A serial stream whose device can be pulled out.
class UnpluggableStream : public multio::Stream {
 public:
  explicit UnpluggableStream(bool& gone) : gone(gone) {}
  int32_t write(const void*, int32_t n, int32_t) override { return gone ? -1 : n; }
  bool failed() override { return gone; }
  bool& gone;
};

struct LoopFixture : ::testing::Test {
  LoopFixture() { clock.setMs(123456); }
  void runFor(int64_t ms) {
    const int64_t end = clock.count / 1000 + ms;
    while (clock.count / 1000 < end) {
      ASSERT_TRUE(loop.pass());
      ++passes;
    }
  }
  size_t passes = 0;
  AppState app;
  vltest::FakeCounter clock;
  FakeServices services{app, clock};
  MainLoop loop{app.devices, app.sources, services, clock};
};

TEST_F(LoopFixture, FirstPassKeepsHouseAndFramesThenEvery40MsWaitingOncePerFrame) {
  ASSERT_TRUE(loop.pass());
  EXPECT_EQ(services.calls(), (std::vector<std::string>{"discover", "open", "frame@123457"}));
  EXPECT_EQ(services.count("status"), 1u) << "the source and the links came: the status shows it";
  services.log.clear();
  runFor(200);
  // A source that cannot tell drawings: frames every 40 ms exactly, each within 1 ms of its
  // tick's start, and one wait between two frames that ends when the next one is due.
  const std::vector<int64_t> frames = services.frameTimes();
  EXPECT_EQ(passes, frames.size() + services.count("wait"));
  EXPECT_LE(services.count("wait"), frames.size() + 1);
  ASSERT_EQ(frames.size(), 5u);
  for (size_t i = 0; i < frames.size(); ++i) {
    EXPECT_LE(frames[i] % 10, 1) << frames[i];
    if (i > 0) {
      EXPECT_EQ(frames[i] - frames[i - 1], 40);
    }
  }

  // A second passes: housekeeping checks the links (none failed) and does not reopen them.
  runFor(1000);
  EXPECT_EQ(services.count("open"), 0u);
  EXPECT_EQ(services.count("discover"), 0u);
  EXPECT_EQ(services.count("status"), 0u);
}

TEST_F(LoopFixture, ASourceThatTellsDrawingsGetsAFrameAtOnceAfterAQuietSpellAndNoneWhileStill) {
  services.tells = true;
  ASSERT_TRUE(loop.pass());  // the first frame: the source is new
  services.log.clear();
  runFor(3000);
  EXPECT_EQ(services.count("frame"), 0u);
  EXPECT_LE(services.count("wait"), 4u) << "a still screen wakes the loop about once a second";

  // A drawing after the quiet spell: its frame starts at once, off the 40 ms grid. One 10 ms
  // after that productive frame waits for the 40 ms mark; one in between rides along with it.
  const int64_t t = services.nowMs() + 123;
  services.drawingsAtMs = {t, t + 10, t + 25, t + 300};
  services.log.clear();
  runFor(600);
  const std::vector<int64_t> frames = services.frameTimes();
  ASSERT_EQ(frames.size(), 3u);
  EXPECT_LE(frames[0] - t, 1);
  EXPECT_GE(frames[1] - frames[0], 41);
  EXPECT_LE(frames[1] - frames[0], 42);
  EXPECT_LE(frames[2] - (t + 300), 1);
  EXPECT_LE(services.count("wait"), 12u) << "a pending drawing does not wake the loop before its frame may run";

  // Lines resent on the 40 ms grid do not hold a drawing back.
  const int64_t r = services.nowMs() + 50;
  services.resendUntilMs = r + 400;
  services.drawingsAtMs = {r + 215};
  services.log.clear();
  runFor(700);
  const std::vector<int64_t> resent = services.frameTimes();
  ASSERT_GE(resent.size(), 10u);
  EXPECT_EQ(resent[1] - resent[0], 40);
  EXPECT_NE(std::find(resent.begin(), resent.end(), r + 216), resent.end());
}

TEST_F(LoopFixture, ALongFrameIsFollowedAtOnceAndMissedPeriodsAreNotMadeUp) {
  services.frameMs = 60;
  ASSERT_TRUE(loop.pass());
  ASSERT_TRUE(loop.pass());
  EXPECT_EQ(services.log, (std::vector<std::string>{"discover", "open", "status", "frame@123457", "frame@123518"}));
  services.frameMs = 2;
  services.log.clear();
  runFor(400);
  EXPECT_GE(services.count("frame"), 9u);
  EXPECT_LE(services.count("frame"), 11u);
}

TEST_F(LoopFixture, IdleStatesSleep50AndHousekeepingRestoresWhatIsMissing) {
  // No active slot: after the first opening nothing runs but the idle sleep.
  services.devicesActive = 0;
  runFor(900);
  EXPECT_EQ(services.count("frame"), 0u);
  EXPECT_GT(services.count("wait50"), 10u);

  // A port that does not open: openLinks again every second, rebuildSource only when it opens.
  services.devicesActive = 1;
  services.portsOpen = 0;
  services.log.clear();
  runFor(2000);
  EXPECT_EQ(services.count("open"), 2u);
  EXPECT_EQ(services.count("rebuild"), 0u);
  services.portsOpen = 1;
  services.log.clear();
  runFor(1000);
  EXPECT_EQ(services.calls().front(), "open");
  EXPECT_EQ(services.calls()[1], "rebuild");
  EXPECT_GT(services.count("frame"), 20u);
}

TEST_F(LoopFixture, AnUnpluggedDeviceStopsFramesWithinASecondAndIsReopenedTheSecondAfter) {
  bool gone = false;
  app.devices.slots[0].link = std::make_unique<DeviceLink>(std::make_unique<UnpluggableStream>(gone));
  runFor(500);
  gone = true;
  services.portsOpen = 0;
  services.log.clear();
  runFor(1000);
  EXPECT_FALSE(app.devices.linksOpen);
  EXPECT_EQ(services.count("status"), 1u) << "the housekeeping that notices shows it";
  EXPECT_EQ(services.count("open"), 0u);
  const size_t framesWhileNoticing = services.count("frame");
  EXPECT_LE(framesWhileNoticing, 25u);
  services.log.clear();
  runFor(1000);
  EXPECT_EQ(services.count("open"), 1u);
  EXPECT_EQ(services.count("frame"), 0u);
  app.devices.closeLinks();
}

// The machine sleeps with a device whose link dies meanwhile, half a second after housekeeping;
// it wakes, told by the counter (Linux) or by the window (Windows). Housekeeping runs on the
// first pass and every line is due again; without a wake, the next pass leaves both alone.
TEST_F(LoopFixture, AfterSleepHousekeepingRunsAtOnceAndEveryLineIsResent) {
  enum Wake { byCounter, byWindow, none };
  for (Wake wake : {byCounter, byWindow, none}) {
    SCOPED_TRACE(wake);
    AppState state;
    vltest::FakeCounter counter;
    counter.setMs(500000);
    counter.tellsSleep = wake != byWindow;
    FakeServices calls(state, counter);
    MainLoop loop(state.devices, state.sources, calls, counter);
    bool gone = false;
    state.devices.slots[0].link = std::make_unique<DeviceLink>(std::make_unique<UnpluggableStream>(gone));
    DeviceLink& link = *state.devices.slots[0].link;
    for (int i = 0; i < 100 && counter.count / 1000 < 500500; ++i) ASSERT_TRUE(loop.pass());
    ASSERT_TRUE(state.devices.linksOpen);
    ASSERT_EQ(link.shown.dueCount(), 0);
    gone = true;
    if (wake == byCounter) counter.asleep += int64_t{3600} * 1000000;
    if (wake == byWindow) calls.resumeTold = true;
    calls.log.clear();
    ASSERT_TRUE(loop.pass());
    EXPECT_EQ(state.devices.linksOpen, wake == none);
    EXPECT_EQ(calls.count("status"), wake == none ? 0u : 1u);
    EXPECT_EQ(link.shown.dueCount(), wake == none ? 0 : 240);
    // The next housekeeping, a second after the one the wake brought, reopens the links;
    // without the wake, the dead link is only noticed then.
    const int64_t woke = counter.count / 1000;
    calls.log.clear();
    for (int i = 0; i < 1000 && counter.count / 1000 < woke + 1005; ++i) ASSERT_TRUE(loop.pass());
    EXPECT_EQ(calls.count("open"), wake == none ? 0u : 1u);
    state.devices.closeLinks();
  }
}

TEST_F(LoopFixture, ExternalMonitorLostRediscoversEverySecondUntilBack) {
  app.sources.captureMode = CaptureMode::externalMonitor;
  runFor(1500);
  EXPECT_EQ(services.count("check"), 1u);
  services.driverAnswers = 0;
  services.sourceComesBack = 0;
  services.log.clear();
  runFor(1000);
  EXPECT_EQ(app.sources.sourceReady, 0);
  const size_t frames = services.count("frame");
  services.log.clear();
  runFor(3000);
  EXPECT_EQ(services.count("frame"), 0u);
  EXPECT_EQ(services.count("discover"), 3u);
  EXPECT_EQ(services.count("check"), 0u);
  EXPECT_LE(frames, 25u);
  services.sourceComesBack = 1;
  services.driverAnswers = 1;
  services.log.clear();
  runFor(1000);
  EXPECT_EQ(services.calls().front(), "discover");
  EXPECT_EQ(services.calls()[1], "open");
}

TEST_F(LoopFixture, UnreadableCounterStopsHousekeepingAndFramesAndQuitLeavesTheLoop) {
  ASSERT_TRUE(loop.pass());
  clock.readable = false;
  EXPECT_EQ(loop.now(), 0u);
  services.log.clear();
  for (int i = 0; i < 500; ++i) ASSERT_TRUE(loop.pass());
  EXPECT_TRUE(services.calls().empty());
  services.tells = true;  // a drawing does not start a frame either
  services.drawingsAtMs = {services.nowMs()};
  for (int i = 0; i < 50; ++i) ASSERT_TRUE(loop.pass());
  EXPECT_TRUE(services.calls().empty());
  services.tells = false;
  clock.readable = true;
  runFor(100);
  EXPECT_GT(services.count("frame"), 0u);

  services.quitAfter = services.passes + 2;
  services.log.clear();
  loop.run();
  EXPECT_LE(services.log.size(), 3u);
}

}  // namespace
