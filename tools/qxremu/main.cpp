// qxremu: a QXR controller on a pseudo-terminal, for tests and for the demo.
//
// Prints the pseudo-terminal's path on stdout, optionally links it (--link
// DIR/COM2), answers the PC's frames until SIGTERM or SIGINT, then removes the
// link. It keeps its own slave descriptor open, so the PC can close and
// reopen the port in the middle of an operation.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/signalfd.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "base/stdfds.h"
#include "controller.h"

namespace {

constexpr const char* kUsage =
    "usage: qxremu [options]\n"
    "\n"
    "A QXR controller on a pseudo-terminal. Prints the terminal's path, then\n"
    "answers until SIGTERM or SIGINT.\n"
    "\n"
    "  --link PATH          make PATH (e.g. run/COM2) a symbolic link to the terminal\n"
    "  --model N            102, 202, 302 (X02: programs have names) or 101, 200, 300\n"
    "  --version SD|K|M     software version (default SD)\n"
    "  --designation TEXT   model reply text instead of QXR-<model>\n"
    "  --version-text TEXT  version reply text instead of V1.02S, V1.02K, V1.02M\n"
    "  --programs DIR       load every program file (*.nc, *.ncd) of DIR\n"
    "  --program N:FILE     load FILE as program N\n"
    "  --params FILE        parameters, lines number=value\n"
    "  --plc FILE.mcn       the PLC program (hexadecimal text)\n"
    "  --store DIR          keep a mirror of what the controller holds in DIR:\n"
    "                       P07.nc per program, parameters.txt, plc.mcn\n"
    "  --log FILE           every frame in and reply out, one per line:\n"
    "                       'in 24 25 0d 0a' / 'out 24 25 0d 0a' ('#' lines are notes)\n"
    "  --baud N             emulate the line speed (10 bits per byte) both ways:\n"
    "                       the PC's bytes are taken and the replies sent no\n"
    "                       faster; 0 = at once\n"
    "faults:\n"
    "  --silent-after N     stop answering after N frames\n"
    "  --silent-after-replies N\n"
    "                       send N replies, then no more (also within a PLC read)\n"
    "  --hangup-after N     close the line after answering N frames, then exit\n"
    "  --hangup-after-replies N\n"
    "                       close the line once N replies are out, then exit\n"
    "  --refuse FRAME       answer FRAME (its text without CR LF or STX/ETX; \\xHH\n"
    "                       escapes; a final * matches a prefix) with the refusal line\n"
    "  --refuse-at N        answer the N-th frame (from 1) with the refusal line\n"
    "  --drop-at N          miss the N-th frame (from 1): no answer, no effect; the\n"
    "                       frames after it are answered as usual\n"
    "  --garbage            answer every frame with garbage bytes\n"
    "  --overlong           put 100 bytes without a line end before every reply\n"
    "  --noise-at N         put a burst of line noise (400 random bytes, many of\n"
    "                       them line ends) before the N-th reply (from 1)\n"
    "  --noise              line noise (random bytes) all the time, between replies\n"
    "  --nul-at N           put a NUL byte in the middle of the N-th reply\n"
    "  --echo               a loopback plug: every byte goes straight back, nothing\n"
    "                       answers\n"
    "  --trickle MS         send the bytes of every reply MS milliseconds apart\n"
    "behaviours within the protocol:\n"
    "  --attention-ack      answer the attention frame with the acknowledge line\n"
    "  --crcrlf             end every line with CR CR LF\n"
    "  --nul-padding        put two NUL bytes between a line's text and its end\n"
    "  --echo-data          consent to numbers, names, program lines and values by\n"
    "                       repeating them instead of the acknowledge line\n"
    "\n"
    "Texts take the escapes \\r \\n \\\\ and \\xHH.\n";

std::string unescape(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 >= text.size()) {
      out += text[i];
      continue;
    }
    const char c = text[++i];
    if (c == 'r') out += '\r';
    else if (c == 'n') out += '\n';
    else if (c == 'x' && i + 2 < text.size() + 0 && std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
             std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
      out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else out += c;
  }
  return out;
}

std::string hexLine(const char* direction, std::string_view bytes) {
  std::string line = direction;
  char digits[4];
  for (char c : bytes) {
    std::snprintf(digits, sizeof digits, " %02x", static_cast<unsigned char>(c));
    line += digits;
  }
  return line + "\n";
}

bool loadParameters(const std::string& path, qxremu::Controller& controller) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::size_t equals = line.find('=');
    if (equals == std::string::npos) continue;
    controller.parameters.emplace_back(line.substr(0, equals), line.substr(equals + 1));
  }
  return true;
}

bool loadPlc(const std::string& path, qxremu::Controller& controller) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::string digits;
  char c;
  while (in.get(c))
    if (std::isxdigit(static_cast<unsigned char>(c))) digits += static_cast<char>(std::toupper(c));
  if (digits.size() % 2) digits.pop_back();
  controller.plcRecords.clear();
  for (std::size_t at = 0; at < digits.size(); at += 32) controller.plcRecords.push_back(digits.substr(at, 32));
  return true;
}

[[noreturn]] void fail(const std::string& message) {
  std::fprintf(stderr, "qxremu: %s\n", message.c_str());
  std::exit(2);
}

long number(const char* text, const char* option) {
  char* end = nullptr;
  const long value = std::strtol(text, &end, 10);
  if (!end || *end || value < 0) fail(std::string("bad number for ") + option + ": " + text);
  return value;
}

}  // namespace

int main(int argc, char* argv[]) {
  qxr::reopenClosedStandardDescriptors();
  qxremu::Config config;
  std::string version = "SD", linkPath, logPath, programsDir, paramsPath, plcPath;
  std::vector<std::pair<int, std::string>> programFiles;
  bool designationGiven = false, versionTextGiven = false;
  long baud = 0, trickle = 0;
  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    const bool hasValue = i + 1 < argc;
    auto value = [&]() -> const char* {
      if (!hasValue) fail("missing value for " + option);
      return argv[++i];
    };
    if (option == "--help" || option == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (option == "--link") linkPath = value();
    else if (option == "--model") config.model = static_cast<int>(number(value(), "--model"));
    else if (option == "--version") version = value();
    else if (option == "--designation") config.designation = unescape(value()), designationGiven = true;
    else if (option == "--version-text") config.versionText = unescape(value()), versionTextGiven = true;
    else if (option == "--programs") programsDir = value();
    else if (option == "--program") {
      const std::string numberAndFile = value();
      const std::size_t colon = numberAndFile.find(':');
      if (colon == std::string::npos) fail("--program wants N:FILE");
      programFiles.emplace_back(static_cast<int>(number(numberAndFile.substr(0, colon).c_str(), "--program")),
                                numberAndFile.substr(colon + 1));
    } else if (option == "--params") paramsPath = value();
    else if (option == "--plc") plcPath = value();
    else if (option == "--store") config.storeDir = value();
    else if (option == "--log") logPath = value();
    else if (option == "--baud") baud = number(value(), "--baud");
    else if (option == "--silent-after") config.silentAfter = number(value(), "--silent-after");
    else if (option == "--hangup-after") config.hangupAfter = number(value(), "--hangup-after");
    else if (option == "--silent-after-replies")
      config.silentAfterReplies = number(value(), "--silent-after-replies");
    else if (option == "--hangup-after-replies")
      config.hangupAfterReplies = number(value(), "--hangup-after-replies");
    else if (option == "--refuse-at") config.refusedAt.push_back(number(value(), "--refuse-at"));
    else if (option == "--drop-at") config.droppedAt.push_back(number(value(), "--drop-at"));
    else if (option == "--refuse") config.refused.push_back(unescape(value()));
    else if (option == "--garbage") config.garbage = true;
    else if (option == "--overlong") config.overlong = true;
    else if (option == "--noise-at") config.noiseAt.push_back(number(value(), "--noise-at"));
    else if (option == "--noise") config.noise = true;
    else if (option == "--nul-at") config.nulAt.push_back(number(value(), "--nul-at"));
    else if (option == "--echo") config.echo = true;
    else if (option == "--trickle") trickle = number(value(), "--trickle");
    else if (option == "--attention-ack") config.attentionAck = true;
    else if (option == "--crcrlf") config.crCrLf = true;
    else if (option == "--nul-padding") config.nulPadding = true;
    else if (option == "--echo-data") config.echoData = true;
    else fail("unknown option " + option + " (see --help)");
  }
  if (version != "SD" && version != "K" && version != "M") fail("--version is SD, K or M");
  config.namedPrograms = !(config.model == 101 || config.model == 200 || config.model == 300);
  if (!designationGiven) config.designation = "QXR-" + std::to_string(config.model);
  // The version letter stands three places after the last ".".
  if (!versionTextGiven) config.versionText = std::string("V1.02") + version[0];

  qxremu::Controller controller(config);
  if (!programsDir.empty()) {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(programsDir, error)) {
      std::string extension = entry.path().extension().string();
      for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      if (extension != ".nc" && extension != ".ncd") continue;
      if (auto program = qxremu::readProgramFile(entry.path().string(), config.namedPrograms))
        controller.programs[program->first] = program->second;
    }
    if (error) fail("cannot read " + programsDir);
  }
  for (const auto& [n, path] : programFiles) {
    auto program = qxremu::readProgramFile(path, config.namedPrograms);
    if (!program) fail("cannot read program file " + path);
    controller.programs[n] = program->second;
  }
  if (!paramsPath.empty() && !loadParameters(paramsPath, controller)) fail("cannot read " + paramsPath);
  if (!plcPath.empty() && !loadPlc(plcPath, controller)) fail("cannot read " + plcPath);
  controller.saveAll();

  std::FILE* log = nullptr;
  if (!logPath.empty()) {
    log = std::fopen(logPath.c_str(), "w");
    if (!log) fail("cannot write " + logPath);
  }
  auto logLine = [&](const std::string& line) {
    if (!log) return;
    std::fputs(line.c_str(), log);
    std::fflush(log);
  };
  controller.onTraffic = [&](const char* direction, std::string_view bytes) { logLine(hexLine(direction, bytes)); };
  controller.onNote = [&](const std::string& note) { logLine("# " + note + "\n"); };

  // The pseudo-terminal, raw from the start so nothing is echoed back.
  const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) fail("no pseudo-terminal");
  char slavePath[128];
  if (::ptsname_r(master, slavePath, sizeof slavePath) != 0) fail("no pseudo-terminal name");
  int slave = ::open(slavePath, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (slave < 0) fail("cannot open the pseudo-terminal");
  termios raw{};
  ::tcgetattr(slave, &raw);
  ::cfmakeraw(&raw);
  ::cfsetspeed(&raw, B9600);
  ::tcsetattr(slave, TCSANOW, &raw);
  ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);

  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGHUP);
  ::sigprocmask(SIG_BLOCK, &signals, nullptr);
  ::signal(SIGPIPE, SIG_IGN);
  const int signalFd = ::signalfd(-1, &signals, SFD_CLOEXEC);

  if (!linkPath.empty()) {
    std::error_code error;
    const auto status = std::filesystem::symlink_status(linkPath, error);
    if (std::filesystem::exists(status) && !std::filesystem::is_symlink(status))
      fail(linkPath + " exists and is not a link");
    std::filesystem::remove(linkPath, error);
    std::filesystem::create_symlink(slavePath, linkPath, error);
    if (error) fail("cannot link " + linkPath + ": " + error.message());
  }
  auto removeLink = [&] {
    if (linkPath.empty()) return;
    std::error_code error;
    if (std::filesystem::read_symlink(linkPath, error) == slavePath) std::filesystem::remove(linkPath, error);
  };
  std::printf("%s\n", slavePath);
  std::fflush(stdout);
  logLine("# " + std::string(slavePath) + " model " + std::to_string(config.model) + " version " + version + "\n");

  using Clock = std::chrono::steady_clock;
  std::string output;
  std::size_t paced = 0;  // bytes of `output` the line speed has let through so far
  Clock::time_point outputStart = Clock::now();
  double byteSeconds = baud > 0 ? 10.0 / static_cast<double>(baud) : 0.0;
  if (trickle > 0) byteSeconds = std::max(byteSeconds, static_cast<double>(trickle) / 1000.0);
  const bool paced_output = byteSeconds > 0;
  // At a line speed a byte is in after its 10 bits; trickled bytes go out
  // MS apart, the first at once.
  const std::size_t outputLead = trickle > 0 && byteSeconds > (baud > 0 ? 10.0 / static_cast<double>(baud) : 0.0) ? 1 : 0;
  // The line speed holds for the PC's bytes too: they are taken no faster
  // than the wire delivers them, from the first byte seen after a quiet line.
  // A pseudo-terminal would take some 20 KB at once and report its output
  // drained at once, so while bytes wait here the PC's side is held
  // (stopped, as by flow control): its next write waits until the line has
  // taken the last one, as with a UART's transmit buffer.
  const double inByteSeconds = baud > 0 ? 10.0 / static_cast<double>(baud) : 0.0;
  const bool pacedInput = inByteSeconds > 0;
  bool inputWaiting = false;  // bytes from the PC are in the terminal
  std::size_t inTaken = 0;    // bytes taken since inStart
  Clock::time_point inStart = Clock::now();
  bool peerHeld = false;
  auto holdPeer = [&](bool hold) {
    if (hold == peerHeld) return;
    if (::tcflow(slave, hold ? TCOOFF : TCOON) == 0) peerHeld = hold;
  };
  unsigned noiseSeed = 4242;
  bool running = true;
  while (running) {
    double inputWait = -1;  // seconds until the next received byte is due
    if (pacedInput && inputWaiting) {
      // Take the bytes whose time on the wire is over.
      const double elapsed = std::chrono::duration<double>(Clock::now() - inStart).count();
      const std::size_t due = static_cast<std::size_t>(elapsed / inByteSeconds);
      if (due > inTaken) {
        char chunk[4096];
        const std::size_t want = std::min(sizeof chunk, due - inTaken);
        const ssize_t n = ::read(master, chunk, want);
        if (n > 0) {
          inTaken += static_cast<std::size_t>(n);
          controller.receive(std::string_view(chunk, static_cast<std::size_t>(n)));
        }
        if (n < static_cast<ssize_t>(want)) inputWaiting = false;  // the line has gone quiet
      }
      int waiting = 0;
      holdPeer(inputWaiting && ::ioctl(master, FIONREAD, &waiting) == 0 && waiting > 0);
      if (inputWaiting) {
        const double next = (static_cast<double>(inTaken) + 1) * inByteSeconds - elapsed;
        inputWait = std::max(next, 0.0001);
      }
    }
    std::string more = controller.takeOutput();
    // A noisy line: more noise whenever the last has gone out.
    if (config.noise && output.size() < 64) {
      const std::string noise = qxremu::noiseBytes(64, noiseSeed, false);
      logLine(hexLine("out", noise));
      more += noise;
    }
    if (!more.empty()) {
      if (output.empty()) {
        outputStart = Clock::now();
        paced = 0;
      }
      output += more;
    }
    // With a line speed, only the bytes whose time has come go out.
    std::size_t writable = output.size();
    double wait = -1;  // seconds until there is more to do; -1: until something comes
    if (paced_output && !output.empty()) {
      const double elapsed = std::chrono::duration<double>(Clock::now() - outputStart).count();
      const std::size_t due = static_cast<std::size_t>(elapsed / byteSeconds) + outputLead;
      writable = due > paced ? std::min(output.size(), due - paced) : 0;
      const std::size_t afterWrite = paced + writable;  // the byte after these is due then
      wait = std::max((static_cast<double>(afterWrite + 1 - outputLead)) * byteSeconds - elapsed, 0.0001);
    }
    if (writable > 0) {
      const ssize_t n = ::write(master, output.data(), writable);
      if (n > 0) {
        output.erase(0, static_cast<std::size_t>(n));
        paced += static_cast<std::size_t>(n);
      }
    }
    if (controller.hangupDue() && output.empty()) {
      // Let the PC take the last reply first: a hang-up throws away what
      // the terminal still holds. The bytes reach the PC's side of the
      // terminal a moment after they were written, so wait for them to show
      // there before waiting for them to be taken.
      int waiting = 0;
      for (int i = 0; i < 20 && ::ioctl(slave, FIONREAD, &waiting) == 0 && waiting == 0; ++i) ::usleep(1000);
      for (int i = 0; i < 100 && ::ioctl(slave, FIONREAD, &waiting) == 0 && waiting > 0; ++i) ::usleep(10000);
      logLine("# hang-up\n");
      break;
    }
    pollfd fds[2] = {{master, POLLIN, 0}, {signalFd, POLLIN, 0}};
    if (inputWaiting) fds[0].events = 0;  // taken at the line's pace above
    if (!output.empty() && !paced_output) fds[0].events |= POLLOUT;
    if (config.noise && wait < 0) wait = 0.002;
    if (inputWait >= 0) wait = wait < 0 ? inputWait : std::min(wait, inputWait);
    timespec waitTime{static_cast<time_t>(wait), static_cast<long>((wait - std::floor(wait)) * 1e9)};
    if (::ppoll(fds, 2, wait < 0 ? nullptr : &waitTime, nullptr) < 0 && errno != EINTR) break;
    if (fds[1].revents & POLLIN) break;
    if ((fds[0].revents & POLLIN) && pacedInput) {
      // The first byte is in after one byte's time.
      inputWaiting = true;
      inStart = Clock::now();
      inTaken = 0;
    } else if (fds[0].revents & POLLIN) {
      char chunk[4096];
      const ssize_t n = ::read(master, chunk, sizeof chunk);
      if (n > 0) controller.receive(std::string_view(chunk, static_cast<std::size_t>(n)));
    }
    if ((fds[0].revents & (POLLHUP | POLLERR)) && !(fds[0].revents & POLLIN) && !inputWaiting) ::usleep(10000);
  }
  holdPeer(false);
  removeLink();
  ::close(slave);
  ::close(master);
  if (log) std::fclose(log);
  return 0;
}
