#include <asm/termbits.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "link/PortName.h"
#include "link/PortPath_POSIX.h"
#include "link/SerialPort.h"
#include "support/TempDir.h"
#include "support/TestPty_POSIX.h"

namespace {

using namespace std::chrono_literals;

// Ports come only from a ports folder of the test's own and an empty device folder, whatever
// serial devices this machine has.
class SerialPortOnPty : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(ports());
    std::filesystem::create_directories(dir.file("dev"));
    setPortLocations({ports(), dir.file("dev")});
    ASSERT_TRUE(pty.ok());
  }
  void TearDown() override { setPortLocations(defaultPortLocations()); }
  std::string ports() const { return dir.file("ports"); }

  struct termios2 settings() const {
    struct termios2 tio {};
    ioctl(pty.slave(), TCGETS2, &tio);
    return tio;
  }

  vltest::TempDir dir;
  vltest::TestPty pty;
};

}  // namespace

TEST(PortName, FormatsAndParsesBothForms) {
  char name[64];
  formatPortName(9, name, sizeof name);
  EXPECT_STREQ(name, "COM9");
  formatPortName(12, name, sizeof name);
  EXPECT_STREQ(name, "\\\\.\\COM12");
  EXPECT_EQ(parsePortName("COM9"), 9);
  EXPECT_EQ(parsePortName("\\\\.\\COM12"), 12);
  EXPECT_EQ(parsePortName("\\\\.\\COM3"), 3);
  EXPECT_EQ(parsePortName("com63"), 63);
  for (const char* bad : {"COM0", "COM64", "COM-1", "COM", "COM1x", "COM01", "LPT1", "", "COM99999999999"})
    EXPECT_EQ(parsePortName(bad), -1) << bad;
  EXPECT_EQ(parsePortName(nullptr), -1);
}

TEST(PortPath, LinksComeFirstThenTheDeviceRanges) {
  vltest::TempDir dir;
  const PortLocations l{dir.path(), "/devices"};
  EXPECT_EQ(portDevicePath(1, l), "/devices/ttyACM0");
  EXPECT_EQ(portDevicePath(16, l), "/devices/ttyACM15");
  EXPECT_EQ(portDevicePath(17, l), "/devices/ttyUSB0");
  EXPECT_EQ(portDevicePath(32, l), "/devices/ttyUSB15");
  EXPECT_EQ(portDevicePath(33, l), "/devices/ttyS0");
  EXPECT_EQ(portDevicePath(63, l), "/devices/ttyS30");
  EXPECT_EQ(portDevicePath(0, l), "");
  EXPECT_EQ(portDevicePath(64, l), "");
  // A link wins even when it points nowhere: the port is then missing, not another device.
  ASSERT_EQ(symlink("/nowhere", dir.file("com5").c_str()), 0);
  EXPECT_EQ(portDevicePath(5, l), dir.file("com5"));
  EXPECT_EQ(portDevicePath(5, PortLocations{dir.path(), ""}), dir.file("com5"));
  EXPECT_EQ(portDevicePath(6, PortLocations{dir.path(), ""}), "");
}

TEST(PortPath, TheDefaultPortsFolderFollowsTheSettingsFolder) {
  const char* oldConfig = std::getenv("XDG_CONFIG_HOME");
  const std::string saved = oldConfig ? oldConfig : "";
  setenv("XDG_CONFIG_HOME", "/cfg", 1);
  EXPECT_EQ(defaultPortLocations().portsFolder, "/cfg/vantela/ports");
  unsetenv("XDG_CONFIG_HOME");
  const char* home = std::getenv("HOME");
  if (home) {
    EXPECT_EQ(defaultPortLocations().portsFolder, std::string(home) + "/.config/vantela/ports");
  }
  if (oldConfig) setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
}

TEST_F(SerialPortOnPty, AMissingPortGivesAFailedStreamThatRefusesEverything) {
  for (const char* name : {"COM5", "COM0", "COM-1", "\\\\.\\COM40", "nonsense"}) {
    SerialPort port(name, 500000, 0);
    EXPECT_TRUE(port.failed()) << name;
    char buf[4] = {1, 2, 3, 4};
    EXPECT_EQ(port.write(buf, 4, 0), -1);
    EXPECT_EQ(port.read(buf, 4, 0), -1);
  }
  // A link to something that is not a terminal is no port either.
  ASSERT_TRUE(vltest::TempDir::writeFile(dir.file("plain"), "x"));
  ASSERT_EQ(symlink(dir.file("plain").c_str(), (ports() + "/com7").c_str()), 0);
  EXPECT_TRUE(SerialPort("COM7", 9600, 0).failed());
}

TEST_F(SerialPortOnPty, OpensWithTheDeviceLineSettingsAtAnySpeed) {
  ASSERT_TRUE(pty.linkAs(ports() + "/com12"));
  // The terminal starts with CTS flow control, parity and cooked output, which must all go.
  struct termios2 before = settings();
  before.c_cflag |= CRTSCTS | PARENB | CSTOPB;
  before.c_oflag |= OPOST;
  before.c_lflag |= ICANON | ECHO;
  ASSERT_EQ(ioctl(pty.slave(), TCSETS2, &before), 0);
  {
    SerialPort port("\\\\.\\COM12", 500000, 0);
    ASSERT_FALSE(port.failed());
    const struct termios2 tio = settings();
    EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(tio.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
    EXPECT_EQ(tio.c_oflag & OPOST, 0u);
    EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(tio.c_ospeed, 500000u);  // no B500000-only path: the speed is taken as a number
  }
  {
    SerialPort port("\\\\.\\COM12", 123457, 1);
    ASSERT_FALSE(port.failed());
    const struct termios2 tio = settings();
    EXPECT_EQ(tio.c_cflag & CRTSCTS, static_cast<tcflag_t>(CRTSCTS));
    EXPECT_EQ(tio.c_ospeed, 123457u);
  }
}

TEST_F(SerialPortOnPty, IsNotSharedWhileOpen) {
  ASSERT_TRUE(pty.linkAs(ports() + "/com3"));
  auto first = std::make_unique<SerialPort>("COM3", 9600, 0);
  ASSERT_FALSE(first->failed());
  EXPECT_TRUE(SerialPort("COM3", 9600, 0).failed());
  first.reset();
  EXPECT_FALSE(SerialPort("COM3", 9600, 0).failed());
}

TEST_F(SerialPortOnPty, WritesArriveByteForByte) {
  ASSERT_TRUE(pty.linkAs(ports() + "/com3"));
  SerialPort port("COM3", 500000, 0);
  ASSERT_FALSE(port.failed());
  std::vector<unsigned char> sent;
  for (int i = 0; i < 3000; ++i) sent.push_back(static_cast<unsigned char>(i * 31 + (i >> 3)));
  sent[10] = '\n';  // no translation of line ends
  sent[11] = '\r';
  sent[12] = 0x03;  // nor of control characters
  EXPECT_EQ(port.write(sent.data(), static_cast<int32_t>(sent.size()), 0), 3000);
  EXPECT_EQ(pty.readFor(sent.size(), 5s), sent);
}

TEST_F(SerialPortOnPty, AWriteIntoAVanishedDeviceClosesThePort) {
  ASSERT_TRUE(pty.linkAs(ports() + "/com3"));
  SerialPort port("COM3", 500000, 0);
  ASSERT_FALSE(port.failed());
  // Nobody reads: the write blocks once the terminal's buffer is full, until the unplug.
  std::vector<unsigned char> block(1 << 20, 0x55);
  std::atomic<int32_t> result{0};
  std::thread writer([&] { result = port.write(block.data(), static_cast<int32_t>(block.size()), 0); });
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(result.load(), 0);
  pty.unplug();
  writer.join();
  EXPECT_EQ(result.load(), -1);
  EXPECT_TRUE(port.failed());
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(port.write(block.data(), 10, 0), -1);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 100ms);
}

TEST_F(SerialPortOnPty, InterruptEndsABlockedWriteAndEveryLaterOne) {
  ASSERT_TRUE(pty.linkAs(ports() + "/com3"));
  SerialPort port("COM3", 500000, 0);
  std::vector<unsigned char> block(1 << 20, 0x55);
  std::atomic<int32_t> result{0};
  std::atomic<bool> done{false};
  std::thread writer([&] {
    result = port.write(block.data(), static_cast<int32_t>(block.size()), 0);
    done = true;
  });
  std::this_thread::sleep_for(100ms);
  EXPECT_FALSE(done.load());
  port.interrupt();
  writer.join();
  // What the terminal took before is reported, the rest is not sent.
  EXPECT_GT(result.load(), 0);
  EXPECT_LT(result.load(), static_cast<int32_t>(block.size()));
  EXPECT_FALSE(port.failed());  // interrupted, not gone
  EXPECT_EQ(port.write(block.data(), 1, 0), -1);
}
