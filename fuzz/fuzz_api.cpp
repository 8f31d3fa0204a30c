// The shop service's API router over (who, method, path, body), and the
// static file rule over the same path. Input: one byte for who asks (a
// viewer, an operator, an admin by bearer token, the page's cookie with or
// without its anti-forgery token, nobody), then the method up to LF, the path
// (and query) up to LF, the body.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

#include <QJsonDocument>
#include <QJsonObject>

#include "api.h"
#include "server.h"
#include "service/jobs.h"
#include "service/sessions.h"
#include "service/users.h"

namespace {

struct Service {
  std::string dir;
  qxr::UserStore users;
  qxr::SessionStore sessions;
  qxr::LoginThrottle throttle;
  qxr::JobBoard board;
  qxr::ApiRouter router;
  qxr::WebSession viewer, operator_, admin;

  static std::string makeDir() {
    char pattern[] = "/tmp/qxr-fuzz-api-XXXXXX";
    const char* made = ::mkdtemp(pattern);
    return made ? std::string(made) + "/" : std::string("/tmp/");
  }
  Service()
      : dir(makeDir()),
        users(qxr::UserStore::pathIn(dir)),
        board({dir, dir + "library", nullptr, 100}, {}),
        router({&users, &sessions, &throttle, &board, nullptr, dir, {}}) {
    users.load();
    viewer = sessions.open({"vic", qxr::Role::kViewer, "en", {}});
    operator_ = sessions.open({"olga", qxr::Role::kOperator, "zh", {}});
    admin = sessions.open({"admin", qxr::Role::kAdmin, "en", {}});
  }
};

Service& service() {
  static Service* instance = [] {
    auto* made = new Service;  // lives as long as the process; its directory goes at exit
    static std::string dir = made->dir;
    std::atexit([] {
      std::error_code ignored;
      std::filesystem::remove_all(dir, ignored);
    });
    return made;
  }();
  return *instance;
}

std::string_view takeLine(std::string_view& input) {
  const std::size_t end = input.find('\n');
  const std::string_view line = input.substr(0, end);
  input.remove_prefix(end == std::string_view::npos ? input.size() : end + 1);
  return line;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  Service& s = service();
  std::string_view input(reinterpret_cast<const char*>(data) + 1, size - 1);
  qxr::ApiRequest request;
  request.method = std::string(takeLine(input));
  const std::string_view target = takeLine(input);
  request.path = std::string(target.substr(0, target.find('?')));
  if (const auto q = target.find('?'); q != std::string_view::npos) {
    std::string_view query = target.substr(q + 1);
    while (!query.empty()) {
      std::string_view pair = query.substr(0, query.find('&'));
      query.remove_prefix(std::min(query.size(), pair.size() + 1));
      const auto eq = pair.find('=');
      request.query.emplace(std::string(pair.substr(0, eq)),
                            eq == std::string_view::npos ? std::string() : std::string(pair.substr(eq + 1)));
    }
  }
  request.body = std::string(input);
  request.clientAddress = "192.0.2.1";
  switch (data[0] % 6) {
    case 0: request.headers.emplace("authorization", "Bearer " + s.viewer.token); break;
    case 1: request.headers.emplace("authorization", "Bearer " + s.operator_.token); break;
    case 2: request.headers.emplace("authorization", "Bearer " + s.admin.token); break;
    case 3:
      request.headers.emplace("cookie", std::string(qxr::kSessionCookie) + "=" + s.operator_.token);
      request.headers.emplace(qxr::kCsrfHeader, s.operator_.csrf);
      break;
    case 4: request.headers.emplace("cookie", std::string(qxr::kSessionCookie) + "=" + s.admin.token); break;
    default: break;
  }
  const qxr::ApiResponse response = s.router.handle(request);
  // Every reply is a status the API knows; a refusal is a JSON object with its reason.
  if (response.status < 200 || response.status > 599) std::abort();
  if (response.status >= 400) {
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(response.body));
    if (!document.isObject() || !document.object().value("error").isString()) std::abort();
  }
  // A static path never leads out of the web directory.
  const std::string file = qxr::staticFilePath(s.dir, request.path);
  if (!file.empty() && file.rfind(std::filesystem::canonical(s.dir).string() + "/", 0) != 0) std::abort();
  return 0;
}
