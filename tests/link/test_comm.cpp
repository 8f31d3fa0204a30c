// The serial port component on pseudo-terminals.
#include <dirent.h>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <gtest/gtest.h>
#include <mutex>

#include "link/comm.h"
#include "support/ptypeer.h"
#include "support/tempdir.h"

namespace qxr {
namespace {

int countEntries(const char* path) {
  int count = 0;
  if (DIR* dir = ::opendir(path)) {
    while (::readdir(dir)) ++count;
    ::closedir(dir);
  }
  return count;
}

class CommTest : public ::testing::Test {
 protected:
  CommTest() {
    pty.linkAs(dir, "COM2");
    port.SetPortDirectory(dir.dir());
    port.SetDeviceName("COM2");
  }
  // Reads what the PC wrote, as the far end sees it.
  std::string drainMaster(std::size_t expected) {
    std::string got;
    test::waitUntil([&] {
      char chunk[256];
      const ssize_t n = ::read(pty.master(), chunk, sizeof chunk);
      if (n > 0) got.append(chunk, static_cast<std::size_t>(n));
      return got.size() >= expected;
    });
    return got;
  }
  test::TempDir dir;
  test::PtyPair pty;
  TComm port;
};

TEST_F(CommTest, ClosedPortOperations) {
  char byte = 0;
  EXPECT_FALSE(port.Enabled());
  EXPECT_EQ(port.Read(&byte, 1), -1);
  EXPECT_EQ(port.Write("x", 1), -1);
  EXPECT_EQ(port.InQueCount(), -1);
  EXPECT_EQ(port.OutQueCount(), -1);
  EXPECT_FALSE(port.GetModemState(1));
  port.Close();
  port.Close();
  try {
    port.SetDTRState(true);
    FAIL() << "no exception";
  } catch (const ECommError& error) {
    EXPECT_STREQ(error.what(), "Port not open (Error: -1)");
    EXPECT_EQ(error.code(), -1);
  }
  EXPECT_THROW(port.SetRTSState(true), ECommError);
  EXPECT_THROW(port.SetBREAKState(true), ECommError);
}

TEST_F(CommTest, OpenTwiceRaisesAndKeepsThePortOpen) {
  port.Open();
  ASSERT_TRUE(port.Enabled());
  try {
    port.Open();
    FAIL() << "no exception";
  } catch (const ECommError& error) {
    EXPECT_STREQ(error.what(), "Port already assigned (open) (Error: -1)");
    EXPECT_EQ(error.code(), -1);
  }
  EXPECT_TRUE(port.Enabled());
  EXPECT_EQ(port.Write("ok", 2), 2);
  EXPECT_EQ(drainMaster(2), "ok");
}

TEST_F(CommTest, NamesThatAreNotSerialLinesStayClosed) {
  dir.write("plain", "not a device");
  std::filesystem::create_directory(dir.file("folder"));
  std::filesystem::create_symlink("/dev/null", dir.file("COM5"));
  for (const std::string name : {"plain", "folder", "COM5", "missing", "COM7x"}) {
    port.SetDeviceName(dir.file(name));
    EXPECT_NO_THROW(port.Open()) << name;
    EXPECT_FALSE(port.Enabled()) << name;
  }
}

TEST_F(CommTest, SecondOpenerOfAnOpenPortIsRefused) {
  port.Open();
  ASSERT_TRUE(port.Enabled());
  TComm other;
  other.SetPortDirectory(dir.dir());
  other.SetDeviceName("COM2");
  other.Open();
  EXPECT_FALSE(other.Enabled());
  port.Close();
  other.Open();
  EXPECT_TRUE(other.Enabled());
}

TEST_F(CommTest, PropertiesFixedWhileOpenAndLineSettingsApplied) {
  port.SetBaudRate(br19200);
  port.SetDataBits(da7);
  port.SetParity(paEven);
  port.Open();
  ASSERT_TRUE(port.Enabled());

  port.SetDeviceName("COM9");
  port.SetReadBufSize(10);
  port.SetWriteBufSize(10);
  port.SetSuspendTime(99);
  port.SetMonitorEvents({evRxChar});
  EXPECT_EQ(port.DeviceName(), "COM2");
  EXPECT_EQ(port.ReadBufSize(), 4096);
  EXPECT_EQ(port.WriteBufSize(), 2048);
  EXPECT_EQ(port.SuspendTime(), 5u);
  EXPECT_EQ(port.MonitorEvents().size(), 9u);

  // A pseudo-terminal keeps 8 data bits without parity whatever it is told,
  // so the speed and the raw mode are what can be checked on it.
  const int slave = ::open(pty.slavePath().c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(slave, 0);
  termios settings{};
  ASSERT_EQ(::tcgetattr(slave, &settings), 0);
  EXPECT_EQ(::cfgetospeed(&settings), static_cast<speed_t>(B19200));
  // Raw: no echo, no line editing, no translation of CR or LF, no XON/XOFF.
  EXPECT_FALSE(settings.c_lflag & (ECHO | ICANON | ISIG));
  EXPECT_FALSE(settings.c_iflag & (ICRNL | IXON));
  EXPECT_FALSE(settings.c_oflag & OPOST);

  port.SetStopBits(sb20);
  ASSERT_EQ(::tcgetattr(slave, &settings), 0);
  EXPECT_TRUE(settings.c_cflag & CSTOPB);
  // A speed without a termios constant is still applied.
  EXPECT_NO_THROW(port.SetBaudRate(br14400));
  // Four data bits do not exist here: refused, and the property stays.
  EXPECT_THROW(port.SetDataBits(da4), ECommError);
  EXPECT_EQ(port.DataBits(), da7);
  ::close(slave);
}

TEST_F(CommTest, BytesBothWaysAndModemLinesOfAPseudoTerminal) {
  port.Open();
  ASSERT_TRUE(port.Enabled());
  // A pseudo-terminal has no modem lines: raising them is not an error.
  EXPECT_NO_THROW(port.SetRTSState(true));
  EXPECT_NO_THROW(port.SetDTRState(true));
  EXPECT_FALSE(port.GetModemState(1));

  // CR, LF, XOFF and bytes above 7F pass untouched in both directions.
  const std::string bytes("\r\n\x13\x11\x8f\x00z", 7);
  EXPECT_EQ(port.Write(bytes.data(), static_cast<int>(bytes.size())), 7);
  EXPECT_EQ(drainMaster(7), bytes);
  ASSERT_EQ(::write(pty.master(), bytes.data(), bytes.size()), 7);
  EXPECT_TRUE(port.WaitForInput(1000));
  std::string got;
  for (int i = 0; i < 7; ++i) {
    char byte = 0;
    ASSERT_EQ(port.Read(&byte, 1), 1);
    got += byte;
  }
  EXPECT_EQ(got, bytes);
  EXPECT_EQ(port.InQueCount(), 0);
  EXPECT_FALSE(port.WaitForInput(10));

  // Input left unread goes with the close.
  ASSERT_EQ(::write(pty.master(), "stale", 5), 5);
  ASSERT_TRUE(port.WaitForInput(1000));
  port.Close();
  port.Open();
  ASSERT_TRUE(port.Enabled());
  EXPECT_EQ(port.InQueCount(), 0);
}

TEST_F(CommTest, EventThreadPostsReceivedInput) {
  std::mutex mutex;
  std::condition_variable arrived;
  std::uint32_t masks = 0;
  int rxCount = 0;
  port.SetEventPoster([&](std::uint32_t mask) {
    std::lock_guard<std::mutex> guard(mutex);
    masks |= mask;
    arrived.notify_all();
  });
  port.Events.OnRxChar = [&](TThreadComm&, int count) { rxCount = count; };
  port.Open();
  ASSERT_TRUE(port.Enabled());
  ASSERT_EQ(::write(pty.master(), "abc", 3), 3);
  std::uint32_t seen = 0;
  {
    std::unique_lock<std::mutex> lock(mutex);
    arrived.wait_for(lock, std::chrono::seconds(2), [&] { return (masks & kEvRxChar) != 0; });
    seen = masks;
  }
  ASSERT_TRUE(seen & kEvRxChar);
  port.DispatchEvent(kEvRxChar);
  EXPECT_EQ(rxCount, 3);
  // Dispatching after the close calls nothing.
  port.Close();
  rxCount = 0;
  port.DispatchEvent(kEvRxChar);
  EXPECT_EQ(rxCount, 0);
}

TEST_F(CommTest, NoDescriptorOrThreadLeaksOverManyCycles) {
  port.Open();
  port.Close();
  const int fds = countEntries("/proc/self/fd");
  const int threads = countEntries("/proc/self/task");
  for (int i = 0; i < 200; ++i) {
    port.Open();
    ASSERT_TRUE(port.Enabled());
    port.Close();
  }
  EXPECT_EQ(countEntries("/proc/self/fd"), fds);
  EXPECT_EQ(countEntries("/proc/self/task"), threads);
}

// The one case here that waits for the 1 s read time-out, with the hung-up
// line that must not make a read return early.
TEST_F(CommTest, SilentAndHungUpLinesReadNothingForTheReadTimeout) {
  port.Open();
  ASSERT_TRUE(port.Enabled());
  char byte = 0;
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(port.Read(&byte, 1), 0);
  auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_GE(elapsed, std::chrono::milliseconds(kReadTimeoutMs - 20));

  pty.hangUp();
  start = std::chrono::steady_clock::now();
  EXPECT_EQ(port.Read(&byte, 1), 0);
  EXPECT_FALSE(port.WaitForInput(50));
  elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_GE(elapsed, std::chrono::milliseconds(kReadTimeoutMs - 20));
  EXPECT_EQ(port.Write("x", 1), 0);
  port.Close();
}

}  // namespace
}  // namespace qxr
