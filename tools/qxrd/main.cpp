// qxrd: the shop service. Drives every machine of the start directory's list
// and serves the API and the web page.
//
//   qxrd --start-dir DIR [--listen ADDR:PORT] [--web-dir DIR] [--tls-cert FILE --tls-key FILE]
//   qxrd --start-dir DIR user add NAME --role viewer|operator|admin [--language en|zh]
//   qxrd --start-dir DIR user remove NAME
//   qxrd --start-dir DIR user list
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "api.h"
#include "base/stdfds.h"
#include "server.h"
#include "service/jobs.h"
#include "service/sessions.h"
#include "service/users.h"
#include "shop/journal.h"
#include "shop/machines.h"
#include "shop/statedir.h"

namespace qxr {
namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr const char* kInstalledWebDir = "/usr/share/qxrtrans/web";

const char* const kUsage =
    "usage: qxrd --start-dir DIR [--listen ADDR:PORT] [--web-dir DIR] [--tls-cert FILE --tls-key FILE]\n"
    "       qxrd --start-dir DIR user add NAME --role viewer|operator|admin [--language en|zh]\n"
    "          (the password is read from standard input, one line)\n"
    "       qxrd --start-dir DIR user remove NAME\n"
    "       qxrd --start-dir DIR user list\n";

int usageError(const std::string& text) {
  std::fprintf(stderr, "qxrd: %s\n%s", text.c_str(), kUsage);
  return kExitUsage;
}

struct Options {
  std::string startDir;
  std::string listen = "127.0.0.1:8080";
  std::string webDir;
  std::string tlsCert, tlsKey;
  std::vector<std::string> command;  // "user" ...
};

// "ADDR:PORT" or "[V6ADDR]:PORT".
bool parseListen(const std::string& text, std::string& host, int& port) {
  const auto colon = text.rfind(':');
  if (colon == std::string::npos || colon == 0) return false;
  host = text.substr(0, colon);
  if (host.size() > 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
  const std::string digits = text.substr(colon + 1);
  if (digits.empty() || digits.size() > 5 || digits.find_first_not_of("0123456789") != std::string::npos) return false;
  port = std::stoi(digits);
  return port <= 65535;
}

// The page's files: given, else $QXR_WEB_DIR, else the source tree's when
// this is the program of its build tree, else the installed ones.
std::string webDirectory(const std::string& given) {
  if (!given.empty()) return given;
  if (const char* env = std::getenv("QXR_WEB_DIR"); env != nullptr && *env != '\0') return env;
#if defined(QXR_SOURCE_DIR) && defined(QXR_BINARY_DIR)
  std::error_code error;
  const std::string self = std::filesystem::read_symlink("/proc/self/exe", error).string();
  const std::string build = std::string(QXR_BINARY_DIR) + "/";
  const std::string source = std::string(QXR_SOURCE_DIR) + "/web";
  if (!error && self.rfind(build, 0) == 0 && std::filesystem::is_directory(source, error)) return source;
#endif
  return kInstalledWebDir;
}

int userCommand(const Options& options) {
  const std::vector<std::string>& args = options.command;
  UserStore store(UserStore::pathIn(options.startDir));
  std::string error;
  if (!store.load(&error)) {
    std::fprintf(stderr, "qxrd: %s\n", error.c_str());
    return kExitFailed;
  }
  if (args.size() == 2 && args[1] == "list") {
    for (const User& user : store.users()) std::printf("%s\t%s\t%s\n", user.name.c_str(), roleName(user.role), user.language.c_str());
    return kExitOk;
  }
  if (args.size() == 3 && args[1] == "remove") {
    if (!store.remove(args[2], &error)) {
      std::fprintf(stderr, "qxrd: %s\n", error.c_str());
      return kExitFailed;
    }
    return kExitOk;
  }
  if (args.size() >= 3 && args[1] == "add") {
    const std::string& name = args[2];
    std::optional<Role> role;
    std::string language = "en";
    for (std::size_t i = 3; i < args.size(); ++i) {
      if (args[i] == "--role" && i + 1 < args.size()) {
        role = roleOfName(args[++i]);
        if (!role) return usageError("--role takes viewer, operator or admin");
      } else if (args[i] == "--language" && i + 1 < args.size()) {
        language = args[++i];
        if (!isUserLanguage(language)) return usageError("--language takes en or zh");
      } else {
        return usageError("user add: unexpected argument " + args[i]);
      }
    }
    if (!role) return usageError("user add needs --role");
    if (!isValidUserName(name)) return usageError("a user name is 1 to 32 letters, digits, '.', '-', '_' or '@'");
    std::string password;
    std::getline(std::cin, password);
    if (!password.empty() && password.back() == '\r') password.pop_back();
    if (password.empty()) {
      std::fprintf(stderr, "qxrd: an empty password is refused (give it on standard input)\n");
      return kExitFailed;
    }
    if (!store.put(name, *role, password, language, &error)) {
      std::fprintf(stderr, "qxrd: %s\n", error.c_str());
      return kExitFailed;
    }
    return kExitOk;
  }
  return usageError("user takes add NAME --role ROLE, remove NAME or list");
}

int serve(const Options& options) {
  ServerOptions serverOptions;
  if (!parseListen(options.listen, serverOptions.host, serverOptions.port))
    return usageError("--listen takes ADDR:PORT");
  if (options.tlsCert.empty() != options.tlsKey.empty()) return usageError("--tls-cert and --tls-key go together");
  serverOptions.tlsCert = options.tlsCert;
  serverOptions.tlsKey = options.tlsKey;
  serverOptions.webDir = webDirectory(options.webDir);

  // The signals that end the service are taken by one thread; every other
  // thread (made below) inherits them blocked.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGTERM);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGHUP);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  FileError fileError = FileError::kNone;
  const MachineFile machineFile = MachineFile::load(options.startDir, &fileError);
  if (fileError != FileError::kNone) {
    std::fprintf(stderr, "qxrd: %s cannot be read\n", MachineFile::pathIn(options.startDir).c_str());
    return kExitFailed;
  }
  for (const MachineProblem& problem : machineFile.problems())
    std::fprintf(stderr, "qxrd: warning: %s: %s\n", kMachineFileName, machineProblemText(1, problem).c_str());

  UserStore users(UserStore::pathIn(options.startDir));
  std::string error;
  if (!users.load(&error)) std::fprintf(stderr, "qxrd: warning: %s; no one can log in\n", error.c_str());
  else if (users.empty())
    std::fprintf(stderr, "qxrd: warning: no users yet; add one with: qxrd --start-dir DIR user add NAME --role admin\n");

  Journal journal(journalPathFor(stateEnvironment(), machineFile.journalPath(), options.startDir));
  journal.setProblemHandler([](const std::string& problem) {
    std::fprintf(stderr, "qxrd: warning: %s; transfers are not recorded\n", problem.c_str());
  });
  JobBoard::Options boardOptions;
  boardOptions.startDir = options.startDir;
  boardOptions.journal = &journal;
  JobBoard board(boardOptions, machineFile.machines());
  if (const int interrupted = board.markInterruptedTransfers(); interrupted > 0)
    std::fprintf(stderr, "qxrd: %d transfer(s) of an earlier run marked interrupted\n", interrupted);

  SessionStore sessions;
  LoginThrottle throttle;
  ApiRouter router({&users, &sessions, &throttle, &board, &journal, options.startDir});
  HttpServer server(router, serverOptions);
  if (!server.valid(&error)) {
    std::fprintf(stderr, "qxrd: %s\n", error.c_str());
    return kExitFailed;
  }
  const int port = server.bind();
  if (port <= 0) {
    std::fprintf(stderr, "qxrd: cannot listen on %s\n", options.listen.c_str());
    return kExitFailed;
  }

  std::atomic<bool> served{false};
  std::thread signals([&] {
    const timespec slice{0, 200'000'000};
    bool stopping = false;
    while (!served) {
      if (!stopping && sigtimedwait(&stopSignals, nullptr, &slice) > 0) stopping = true;
      // stop() before the server listens is lost: repeat it until run() returns.
      if (stopping) {
        server.stop();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
      }
    }
  });
  const bool tls = !options.tlsCert.empty();
  const bool v6 = serverOptions.host.find(':') != std::string::npos;
  std::printf("qxrd: listening on %s://%s%s%s:%d\n", tls ? "https" : "http", v6 ? "[" : "",
              serverOptions.host.c_str(), v6 ? "]" : "", port);
  std::fflush(stdout);
  const bool listened = server.run();
  served = true;
  signals.join();
  // The board's end stops what runs (journalled "stopped") and drops what waits.
  return listened ? kExitOk : kExitFailed;
}

}  // namespace
}  // namespace qxr

int main(int argc, char** argv) {
  qxr::reopenClosedStandardDescriptors();
  signal(SIGPIPE, SIG_IGN);
  qxr::Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (!options.command.empty()) {
      options.command.push_back(arg);
    } else if (arg == "--help" || arg == "-h") {
      std::printf("%s", qxr::kUsage);
      return qxr::kExitOk;
    } else if (arg == "--start-dir" && hasValue) {
      options.startDir = argv[++i];
    } else if (arg == "--listen" && hasValue) {
      options.listen = argv[++i];
    } else if (arg == "--web-dir" && hasValue) {
      options.webDir = argv[++i];
    } else if (arg == "--tls-cert" && hasValue) {
      options.tlsCert = argv[++i];
    } else if (arg == "--tls-key" && hasValue) {
      options.tlsKey = argv[++i];
    } else if (arg == "user") {
      options.command.push_back(arg);
    } else {
      return qxr::usageError("unknown or incomplete option " + arg);
    }
  }
  if (options.startDir.empty()) return qxr::usageError("--start-dir DIR is needed");
  if (!std::filesystem::is_directory(options.startDir)) {
    std::fprintf(stderr, "qxrd: %s is no directory\n", options.startDir.c_str());
    return qxr::kExitFailed;
  }
  if (!options.command.empty()) return qxr::userCommand(options);
  return qxr::serve(options);
}
