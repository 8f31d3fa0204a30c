#pragma once
// The shop service's HTTP API, apart from any socket: a request in, a reply
// out. The server (server.cpp) hands every /api/ request here; the tests and
// the fuzz target call handle() directly.
//
// Every route needs a session but POST /api/login. A session comes from the
// header "Authorization: Bearer TOKEN" or the cookie qxrd_session; a change
// made under the cookie must repeat the session's anti-forgery token in the
// header X-CSRF-Token. Bodies are JSON objects whose fields are all known and
// of their type; anything else is refused with 400 and the reason.
//
// Thread safety: handle() may be called from many threads at once.
#include <cstddef>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qxr {

class JobBoard;
class Journal;
class LoginThrottle;
class SessionStore;
class UserStore;

inline constexpr const char* kSessionCookie = "qxrd_session";
inline constexpr const char* kCsrfHeader = "x-csrf-token";
// The largest request body taken (a program of 6000 full lines is far below).
inline constexpr std::size_t kApiBodyLimit = 4u << 20;

struct ApiRequest {
  std::string method;  // "GET", "POST", ...
  std::string path;    // decoded, without the query: "/api/jobs/3"
  std::multimap<std::string, std::string> query;    // decoded names and values
  std::multimap<std::string, std::string> headers;  // names in lower case
  std::string body;
  std::string clientAddress;
  bool tls = false;

  // The first value of a header (name in lower case), empty when absent.
  std::string header(std::string_view name) const;
};

struct ApiResponse {
  int status = 200;
  std::string contentType = "application/json";
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;
};

class ApiRouter {
 public:
  struct Services {
    UserStore* users = nullptr;
    SessionStore* sessions = nullptr;
    LoginThrottle* throttle = nullptr;
    JobBoard* board = nullptr;
    Journal* journal = nullptr;  // may be null: the journal is then empty
    std::string startDir;        // Machines.ini
  };
  explicit ApiRouter(Services services);

  ApiResponse handle(const ApiRequest& request);

  // A reply {"error": reason}.
  static ApiResponse error(int status, std::string_view reason);

 private:
  struct Call;
  ApiResponse route(Call& call);
  ApiResponse login(Call& call);
  ApiResponse logout(Call& call);
  ApiResponse me(Call& call);
  ApiResponse setLanguage(Call& call);
  ApiResponse machines(Call& call);
  ApiResponse submit(Call& call, const std::string& machine, const std::string& operation);
  ApiResponse putMachine(Call& call);
  ApiResponse removeMachine(Call& call, const std::string& name);
  ApiResponse jobs(Call& call);
  ApiResponse job(Call& call, const std::string& id);
  ApiResponse stopJob(Call& call, const std::string& id);
  ApiResponse journal(Call& call);
  ApiResponse preview(Call& call);
  ApiResponse users(Call& call);
  ApiResponse putUser(Call& call);
  ApiResponse removeUser(Call& call, const std::string& name);

  Services services_;
  std::mutex machineFileMutex_;  // one edit of Machines.ini at a time
};

}  // namespace qxr
