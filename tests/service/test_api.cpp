// The shop service's API: the router in-process on a real job board with
// emulated controllers, and qxrd itself over a socket.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "api.h"
#include "server.h"
#include "service/jobs.h"
#include "service/sessions.h"
#include "service/users.h"
#include "shop/journal.h"
#include "shop/machines.h"
#include "support/service.h"
#include "support/wait.h"

namespace qxr {
namespace {

using test::ServiceStartDir;

QJsonObject parse(const std::string& body) { return QJsonDocument::fromJson(QByteArray::fromStdString(body)).object(); }
std::string str(const QJsonObject& object, const char* key) { return object.value(key).toString().toStdString(); }

const char* const kProgram = "O12 (FACE)\nG00 X0 Y0\nG01 X10 Y5 F100\nM30\n";

std::string longProgram(int lines) {
  std::string text = "O12\n";
  for (int i = 0; i < lines; ++i) text += "G01 X" + std::to_string(i % 50) + "\n";
  return text;
}

// Who makes a request.
enum class Who { kNobody, kStale, kViewer, kOperator, kAdmin, kCookie, kCookieNoCsrf };

class ApiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    QXR_REQUIRE_TOOL("qxremu");
    start_ = std::make_unique<ServiceStartDir>();
    users_ = std::make_unique<UserStore>(UserStore::pathIn(start_->dir()));
    ASSERT_TRUE(users_->load());
    journal_ = std::make_unique<Journal>(start_->journalPath());
    JobBoard::Options options;
    options.startDir = start_->dir();
    options.journal = journal_.get();
    board_ = std::make_unique<JobBoard>(options, MachineFile::load(start_->dir()).machines());
    router_ = std::make_unique<ApiRouter>(ApiRouter::Services{
        users_.get(), &sessions_, &throttle_, board_.get(), journal_.get(), start_->dir(), [this](const std::string& line) {
          std::lock_guard lock(logMutex_);
          log_ += line + "\n";
        }});
  }

  struct Login {
    std::string token, csrf, cookie;
  };
  Login login(const std::string& user) {
    const ApiResponse response = call(Who::kNobody, "POST", "/api/login",
                                      R"({"user":")" + user + R"(","password":")" + user + R"(-pw"})");
    EXPECT_EQ(response.status, 200) << response.body;
    Login login;
    login.token = str(parse(response.body), "token");
    login.csrf = str(parse(response.body), "csrf");
    for (const auto& [name, value] : response.headers)
      if (name == "Set-Cookie") login.cookie = value.substr(0, value.find(';'));
    return login;
  }
  void loginAll() {
    viewer_ = login("vic");
    operator_ = login("olga");
    admin_ = login("admin");
    page_ = login("olga");  // the page's own session, by its cookie
  }

  ApiResponse call(Who who, const std::string& method, const std::string& target, const std::string& body = {}) {
    ApiRequest request;
    request.method = method;
    request.path = target.substr(0, target.find('?'));
    if (const auto q = target.find('?'); q != std::string::npos) {
      std::string query = target.substr(q + 1);
      for (std::size_t at = 0; at <= query.size();) {
        const std::size_t end = std::min(query.find('&', at), query.size());
        const std::string pair = query.substr(at, end - at);
        const auto eq = pair.find('=');
        request.query.emplace(pair.substr(0, eq), eq == std::string::npos ? "" : pair.substr(eq + 1));
        at = end + 1;
      }
    }
    request.body = body;
    request.clientAddress = "192.0.2.7";
    const auto bearer = [&](const Login& l) { request.headers.emplace("authorization", "Bearer " + l.token); };
    switch (who) {
      case Who::kNobody: break;
      case Who::kStale: request.headers.emplace("authorization", "Bearer " + std::string(64, 'a')); break;
      case Who::kViewer: bearer(viewer_); break;
      case Who::kOperator: bearer(operator_); break;
      case Who::kAdmin: bearer(admin_); break;
      case Who::kCookie:
        request.headers.emplace("cookie", "theme=dark; " + page_.cookie);
        request.headers.emplace(kCsrfHeader, page_.csrf);
        break;
      case Who::kCookieNoCsrf: request.headers.emplace("cookie", page_.cookie); break;
    }
    return router_->handle(request);
  }

  // Waits until the job has ended; its last view.
  QJsonObject finished(Who who, std::int64_t id) {
    QJsonObject job;
    const bool ended = test::waitUntil([&] {
      job = parse(call(who, "GET", "/api/jobs/" + std::to_string(id)).body);
      const std::string state = str(job, "state");
      return state != "queued" && state != "running";
    });
    EXPECT_TRUE(ended) << QJsonDocument(job).toJson().toStdString();
    return job;
  }

  std::unique_ptr<ServiceStartDir> start_;
  std::unique_ptr<UserStore> users_;
  std::unique_ptr<Journal> journal_;
  SessionStore sessions_;
  LoginThrottle throttle_;
  std::unique_ptr<JobBoard> board_;
  std::unique_ptr<ApiRouter> router_;
  std::mutex logMutex_;
  std::string log_;
  Login viewer_, operator_, admin_, page_;
};

// Every refusal the API knows, and the requests just beside them that pass.
// Each refusal is JSON with the reason.
TEST_F(ApiTest, StatusOfEachKindOfRequest) {
  loginAll();
  const std::string send = "/api/machines/M1/send";
  const std::string good = R"({"number":12,"text":"G00 X0\nM30\n"})";
  struct Row {
    Who who;
    const char* method;
    std::string target, body;
    int status;
  };
  const std::vector<Row> rows = {
      // sessions: nothing but the login without one, not even which routes exist
      {Who::kNobody, "GET", "/api/machines", "", 401},
      {Who::kStale, "GET", "/api/machines", "", 401},
      {Who::kNobody, "GET", "/api/no-such-route", "", 401},
      {Who::kNobody, "POST", send, good, 401},
      {Who::kViewer, "GET", "/api/machines", "", 200},
      {Who::kViewer, "GET", "/api/me", "", 200},
      // routes and methods
      {Who::kViewer, "GET", "/api/no-such-route", "", 404},
      {Who::kViewer, "GET", "/api/machines/M1/send/more", "", 404},
      {Who::kViewer, "GET", "/api/", "", 404},
      {Who::kNobody, "GET", "/api/login", "", 405},
      {Who::kViewer, "GET", send, "", 405},
      {Who::kViewer, "DELETE", "/api/jobs", "", 405},
      {Who::kAdmin, "PUT", "/api/users", "{}", 405},
      // roles
      {Who::kViewer, "POST", send, good, 403},
      {Who::kViewer, "POST", "/api/machines/M1/receive", R"({"number":1})", 403},
      {Who::kViewer, "POST", "/api/jobs/1/stop", "", 403},
      {Who::kOperator, "POST", "/api/machines", R"({"name":"X","model":"QXR102","port":"COM4"})", 403},
      {Who::kOperator, "GET", "/api/users", "", 403},
      {Who::kOperator, "DELETE", "/api/users/vic", "", 403},
      // the anti-forgery token: changes from the page need it, reads do not
      {Who::kCookieNoCsrf, "POST", send, good, 403},
      {Who::kCookieNoCsrf, "POST", "/api/logout", "", 403},
      {Who::kCookieNoCsrf, "GET", "/api/machines", "", 200},
      {Who::kCookie, "POST", "/api/machines/M2/send", good, 202},
      {Who::kOperator, "POST", send, good, 202},
      // bodies: malformed, not an object, unknown fields, wrong types, bad values, over the bound
      {Who::kOperator, "POST", send, "{", 400},
      {Who::kOperator, "POST", send, "[1,2]", 400},
      {Who::kOperator, "POST", send, R"({"number":12,"text":"M30\n","mode":"fast"})", 400},
      {Who::kOperator, "POST", send, R"({"number":"12","text":"M30\n"})", 400},
      {Who::kOperator, "POST", send, R"({"number":12.5,"text":"M30\n"})", 400},
      {Who::kOperator, "POST", send, R"({"number":0,"text":"M30\n"})", 400},
      {Who::kOperator, "POST", send, R"({"number":1e300,"text":"M30\n"})", 400},
      {Who::kOperator, "POST", send, R"({"number":12})", 400},
      {Who::kOperator, "POST", send, R"({"text":"M30\n"})", 400},  // no number given nor in an O-word
      {Who::kOperator, "POST", send, R"({"text":"%\nO0012\nM30\n%\n"})", 202},
      {Who::kOperator, "POST", send, R"({"number":12,"text":null})", 400},
      {Who::kOperator, "POST", send, R"({"number":12,"name":"A\u0001B","text":"M30\n"})", 400},
      {Who::kOperator, "POST", send, R"({"number":12,"text":"G00 X0\u0000\nM30\n"})", 400},
      {Who::kOperator, "POST", send, R"({"number":12,"text":")" + std::string(300, 'X') + R"(\n"})", 400},
      {Who::kOperator, "POST", send, R"({"number":12,"text":")" + longProgram(6001) + "\"}", 400},
      {Who::kOperator, "POST", send, std::string(kApiBodyLimit + 1, ' '), 413},
      {Who::kNobody, "POST", "/api/login", R"({"user":"vic"})", 400},
      {Who::kNobody, "POST", "/api/login", R"({"user":"vic","password":"x","remember":true})", 400},
      {Who::kViewer, "POST", "/api/me/language", R"({"language":"fr"})", 400},
      {Who::kViewer, "POST", "/api/logout", R"({"all":true})", 400},
      // machine names in the path
      {Who::kOperator, "POST", "/api/machines/NOPE/send", good, 404},
      {Who::kOperator, "POST", "/api/machines/m1\x01/send", good, 400},
      {Who::kOperator, "POST", "/api/machines/../send", good, 404},
      {Who::kOperator, "POST", "/api/machines//send", good, 400},
      {Who::kOperator, "POST", "/api/machines/M1/../M2/send", good, 404},
      {Who::kAdmin, "DELETE", "/api/machines/NOPE", "", 404},
      {Who::kAdmin, "DELETE", "/api/machines/a\nb", "", 400},
      // jobs
      {Who::kViewer, "GET", "/api/jobs", "", 200},
      {Who::kViewer, "GET", "/api/jobs/999", "", 404},
      {Who::kViewer, "GET", "/api/jobs/-1", "", 404},
      {Who::kViewer, "GET", "/api/jobs/99999999999999999999999", "", 404},
      {Who::kOperator, "POST", "/api/jobs/999/stop", "", 404},
      // journal filters
      {Who::kViewer, "GET", "/api/journal?machine=M1&program=12&result=finished&since=2026-01-01&limit=5", "", 200},
      {Who::kViewer, "GET", "/api/journal?result=bogus", "", 400},
      {Who::kViewer, "GET", "/api/journal?since=yesterday", "", 400},
      {Who::kViewer, "GET", "/api/journal?program=100", "", 400},
      {Who::kViewer, "GET", "/api/journal?limit=0", "", 400},
      {Who::kViewer, "GET", "/api/journal?limit=1&limit=2", "", 400},
      {Who::kViewer, "GET", "/api/journal?colour=red", "", 400},
      // preview
      {Who::kViewer, "POST", "/api/preview", R"({"text":"%\nO7 (PLATE)\nN10 G01 X40 Y0 F200\nN20 Y30\nM30\n%\n"})", 200},
      {Who::kViewer, "POST", "/api/preview", R"({"text":""})", 400},
      {Who::kViewer, "POST", "/api/preview", R"({"text":"M30\n","number":100})", 400},
      // administration
      {Who::kAdmin, "GET", "/api/users", "", 200},
      {Who::kAdmin, "POST", "/api/users", R"({"name":"x","role":"boss","password":"p"})", 400},
      {Who::kAdmin, "POST", "/api/users", R"({"name":"a/b","role":"viewer","password":"p"})", 400},
      {Who::kAdmin, "POST", "/api/users", R"({"name":"x","role":"viewer","password":""})", 400},
      {Who::kAdmin, "DELETE", "/api/users/nobody", "", 404},
      {Who::kAdmin, "DELETE", "/api/users/..", "", 400},
      {Who::kAdmin, "DELETE", "/api/users/admin", "", 409},  // the last admin
      {Who::kAdmin, "POST", "/api/users", R"({"name":"admin","role":"operator","password":"p"})", 409},
      {Who::kAdmin, "POST", "/api/machines", R"({"name":"X","model":"QXR999","port":"COM4"})", 400},
      {Who::kAdmin, "POST", "/api/machines", R"({"name":"X","model":"QXR102","port":"nowhere"})", 400},
      {Who::kAdmin, "POST", "/api/machines", R"({"name":"X","model":"QXR102","port":"COM4","baud":1234})", 400},
      {Who::kAdmin, "POST", "/api/machines", R"({"name":"X","model":"QXR102","port":"COM4","folder":"/"})", 400},
      {Who::kAdmin, "POST", "/api/machines", R"({"name":"[X]","model":"QXR102","port":"COM4"})", 400},
      {Who::kAdmin, "POST", "/api/machines", R"({"name":"a/b","model":"QXR102","port":"COM4"})", 400},
      {Who::kAdmin, "POST", "/api/machines", R"({"name":"..","model":"QXR102","port":"COM4"})", 400},
  };
  for (const Row& row : rows) {
    const ApiResponse response = call(row.who, row.method, row.target, row.body);
    const std::string what = std::string(row.method) + " " + row.target.substr(0, 80) + " " + row.body.substr(0, 80);
    EXPECT_EQ(response.status, row.status) << what << "\n" << response.body.substr(0, 300);
    if (row.status >= 400) {
      EXPECT_EQ(response.contentType, "application/json") << what;
      EXPECT_FALSE(str(parse(response.body), "error").empty()) << what << "\n" << response.body.substr(0, 300);
    }
    if (response.contentType == "image/svg+xml") {
      EXPECT_NE(response.body.find("<svg"), std::string::npos) << what;
      EXPECT_NE(response.body.find("</svg>"), std::string::npos) << what;
    }
    if (row.status == 405) {
      bool allow = false;
      for (const auto& header : response.headers) allow |= header.first == "Allow";
      EXPECT_TRUE(allow) << what;
    }
  }
}

// An endless program is drawn up to a bound that keeps a request short (and
// its reply a few MiB), and said to be cut off.
TEST_F(ApiTest, PreviewOfAnEndlessProgramIsCutOff) {
  loginAll();
  for (const char* program : {"O5\\nG91 G01 X1\\nJMP N1\\nLOOP N1 L999\\n"}) {
    const ApiResponse response = call(Who::kViewer, "POST", "/api/preview", std::string(R"({"text":")") + program + "\"}");
    ASSERT_EQ(response.status, 200) << program << response.body.substr(0, 200);
    bool cutOff = false;
    for (const auto& [name, value] : response.headers) cutOff |= name == "X-Preview-Cut-Off" && value == "1";
    EXPECT_TRUE(cutOff) << program;
    EXPECT_LT(response.body.size(), 16u << 20) << program;
  }
}

TEST_F(ApiTest, FailedLoginsAreSlowedWithRetryAfter) {
  int status = 0;
  ApiResponse response;
  for (int attempt = 0; attempt < LoginThrottle::kFreeFailures + 2 && status != 429; ++attempt) {
    response = call(Who::kNobody, "POST", "/api/login", R"({"user":"vic","password":"wrong"})");
    status = response.status;
    if (status != 429) {
      EXPECT_EQ(status, 401);
    }
  }
  ASSERT_EQ(status, 429);
  std::string retryAfter;
  for (const auto& [name, value] : response.headers)
    if (name == "Retry-After") retryAfter = value;
  EXPECT_GE(std::atoi(retryAfter.c_str()), 1) << retryAfter;
  // The right password waits too: the slowing is before the check.
  EXPECT_EQ(call(Who::kNobody, "POST", "/api/login", R"({"user":"vic","password":"vic-pw"})").status, 429);
}

// The page's whole path: log in with the cookie, send, follow the job to its
// end, read the program back, compare it, find both in the journal, log out.
TEST_F(ApiTest, SendReceiveCompareAndJournal) {
  loginAll();
  const std::string body = QJsonDocument(QJsonObject{{"number", 12}, {"name", "FACE"}, {"text", kProgram}})
                               .toJson(QJsonDocument::Compact).toStdString();
  ApiResponse response = call(Who::kCookie, "POST", "/api/machines/M1/send", body);
  ASSERT_EQ(response.status, 202) << response.body;
  const std::int64_t sendId = parse(response.body).value("job").toInteger();
  QJsonObject job = finished(Who::kViewer, sendId);
  EXPECT_EQ(str(job, "state"), "finished") << start_->emulator(0).logText();
  EXPECT_EQ(str(job, "operation"), "send");
  EXPECT_EQ(str(job, "user"), "olga");
  EXPECT_EQ(str(job, "machine"), "M1");
  EXPECT_FALSE(job.value("messages").toArray().isEmpty());
  ASSERT_TRUE(start_->emulator(0).storedProgram(12).has_value());
  EXPECT_NE(start_->emulator(0).storedProgram(12)->find("G01 X10 Y5 F100"), std::string::npos);

  response = call(Who::kOperator, "POST", "/api/machines/M1/receive", R"({"number":12})");
  ASSERT_EQ(response.status, 202) << response.body;
  job = finished(Who::kOperator, parse(response.body).value("job").toInteger());
  EXPECT_EQ(str(job, "state"), "finished");
  EXPECT_NE(str(job, "text").find("G01 X10 Y5 F100"), std::string::npos) << str(job, "text");
  EXPECT_FALSE(str(job, "library").empty());

  response = call(Who::kOperator, "POST", "/api/machines/M1/compare", body);
  ASSERT_EQ(response.status, 202) << response.body;
  job = finished(Who::kOperator, parse(response.body).value("job").toInteger());
  EXPECT_EQ(str(job, "state"), "finished");
  EXPECT_TRUE(job.value("same").toBool());

  // The list is newest first and carries no program text.
  const QJsonArray jobs = parse(call(Who::kViewer, "GET", "/api/jobs").body).value("jobs").toArray();
  ASSERT_EQ(jobs.size(), 3);
  EXPECT_EQ(str(jobs[0].toObject(), "operation"), "compare");
  EXPECT_FALSE(jobs[1].toObject().contains("text"));
  EXPECT_EQ(call(Who::kOperator, "POST", "/api/jobs/" + std::to_string(sendId) + "/stop").status, 409);

  const QJsonObject machines = parse(call(Who::kViewer, "GET", "/api/machines").body);
  const QJsonObject m1 = machines.value("machines").toArray()[0].toObject();
  EXPECT_EQ(str(m1, "name"), "M1");
  EXPECT_EQ(str(m1, "state"), "idle");
  EXPECT_TRUE(m1.value("job").isNull());

  response = call(Who::kViewer, "GET", "/api/journal?machine=M1&program=12&result=finished");
  ASSERT_EQ(response.status, 200) << response.body;
  const QJsonArray records = parse(response.body).value("records").toArray();
  ASSERT_EQ(records.size(), 3) << response.body;
  EXPECT_EQ(str(records[2].toObject(), "user"), "olga");
  EXPECT_EQ(parse(call(Who::kViewer, "GET", "/api/journal?machine=M2").body).value("records").toArray().size(), 0);

  EXPECT_EQ(call(Who::kCookie, "POST", "/api/logout").status, 200);
  EXPECT_EQ(call(Who::kCookie, "GET", "/api/me").status, 401);
  EXPECT_EQ(call(Who::kOperator, "GET", "/api/me").status, 200);  // the bearer session is another
}

TEST_F(ApiTest, StoppingAQueuedJobAndAMachineThatDoesNotAnswer) {
  loginAll();
  start_->emulator(1).stop();  // M2's controller is gone
  const std::string body = R"({"number":3,"text":"G00 X1\nM30\n"})";
  const auto submit = [&] {
    const ApiResponse response = call(Who::kOperator, "POST", "/api/machines/M2/send", body);
    EXPECT_EQ(response.status, 202) << response.body;
    return parse(response.body).value("job").toInteger();
  };
  const std::int64_t first = submit(), second = submit();
  ApiResponse response = call(Who::kOperator, "POST", "/api/jobs/" + std::to_string(second) + "/stop");
  EXPECT_EQ(response.status, 200) << response.body;
  EXPECT_EQ(str(finished(Who::kViewer, second), "state"), "stopped");
  EXPECT_EQ(str(finished(Who::kViewer, first), "state"), "failed");
  // M1 is not held up by M2.
  response = call(Who::kOperator, "POST", "/api/machines/M1/send", body);
  EXPECT_EQ(str(finished(Who::kViewer, parse(response.body).value("job").toInteger()), "state"), "finished");
}

TEST_F(ApiTest, AdministrationOfMachinesAndUsers) {
  loginAll();
  ApiResponse response = call(Who::kAdmin, "POST", "/api/machines",
                              R"({"name":"Lathe 3","model":"QXR302","version":"M","port":"COM9","baud":19200,)"
                              R"("timeout":2000,"mode":"byte","pacing":5})");
  ASSERT_EQ(response.status, 200) << response.body;
  const MachineFile file = MachineFile::load(start_->dir());
  ASSERT_NE(file.find("Lathe 3"), nullptr);
  EXPECT_EQ(file.find("Lathe 3")->baud, 19200);
  EXPECT_EQ(file.journalPath(), start_->journalPath());  // the rest of the file is kept
  QJsonArray machines = parse(call(Who::kViewer, "GET", "/api/machines").body).value("machines").toArray();
  ASSERT_EQ(machines.size(), 3);
  EXPECT_EQ(str(machines[2].toObject(), "model"), "QXR302 M");
  EXPECT_EQ(call(Who::kAdmin, "DELETE", "/api/machines/Lathe 3").status, 200);
  EXPECT_EQ(parse(call(Who::kViewer, "GET", "/api/machines").body).value("machines").toArray().size(), 2);
  EXPECT_EQ(call(Who::kOperator, "POST", "/api/machines/Lathe 3/receive", R"({"number":1})").status, 404);

  // A new user logs in; a change of role ends their sessions; removal too.
  ASSERT_EQ(call(Who::kAdmin, "POST", "/api/users", R"({"name":"nina","role":"operator","password":"nina-pw","language":"zh"})").status, 200);
  const Login nina = login("nina");
  ApiRequest me{"GET", "/api/me", {}, {{"authorization", "Bearer " + nina.token}}, {}, "192.0.2.8", false};
  EXPECT_EQ(str(parse(router_->handle(me).body), "language"), "zh");
  ASSERT_EQ(call(Who::kAdmin, "POST", "/api/users", R"({"name":"nina","role":"viewer","password":"nina-pw"})").status, 200);
  EXPECT_EQ(router_->handle(me).status, 401);
  const QJsonArray users = parse(call(Who::kAdmin, "GET", "/api/users").body).value("users").toArray();
  ASSERT_EQ(users.size(), 4);
  EXPECT_FALSE(users[3].toObject().contains("password"));
  EXPECT_EQ(call(Who::kAdmin, "DELETE", "/api/users/nina").status, 200);
  EXPECT_FALSE(users_->find("nina"));
  // Who did what is told, without passwords.
  for (const char* line : {"192.0.2.7 admin put machine Lathe 3 (QXR302 M, COM9)", "192.0.2.7 admin removed machine Lathe 3",
                           "192.0.2.7 admin added user nina (operator)", "192.0.2.7 admin changed user nina (viewer)",
                           "192.0.2.7 nina logged in", "192.0.2.7 admin removed user nina"})
    EXPECT_NE(log_.find(std::string(line) + "\n"), std::string::npos) << line << "\n" << log_;
  EXPECT_EQ(log_.find("nina-pw"), std::string::npos);

  // A user's language follows them into their sessions.
  response = call(Who::kViewer, "POST", "/api/me/language", R"({"language":"zh"})");
  EXPECT_EQ(response.status, 200) << response.body;
  EXPECT_EQ(str(parse(call(Who::kViewer, "GET", "/api/me").body), "language"), "zh");
  EXPECT_EQ(users_->find("vic")->language, "zh");
}

// ---- qxrd itself ----

int rawConnect(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

// The status of a request sent as these bytes, 0 when none came.
int rawStatus(int port, const std::string& bytes) {
  const int fd = rawConnect(port);
  if (fd < 0) return 0;
  (void)!::write(fd, bytes.data(), bytes.size());
  char reply[64] = {};
  const ssize_t n = ::read(fd, reply, sizeof reply - 1);
  ::close(fd);
  return n > 12 ? std::atoi(reply + 9) : 0;
}

TEST(QxrdProcess, ServesThePageAndRefusesBadRequestsWithoutHanging) {
  QXR_REQUIRE_TOOL("qxremu");
  QXR_REQUIRE_TOOL("qxrd");
  test::ServiceOptions options;
  options.machines = 1;
  ServiceStartDir start(options);
  test::TempDir web;
  web.write("index.html", "<!doctype html><title>qxrd</title>");
  web.write("app.js", "'use strict';");
  start.write("secret.txt", "not for the web");
  test::ServiceProcess qxrd(start, {"--web-dir", web.dir()});
  ASSERT_GT(qxrd.port(), 0) << qxrd.firstLine();
  httplib::Client client("127.0.0.1", qxrd.port());
  client.set_read_timeout(15, 0);

  auto page = client.Get("/");
  ASSERT_TRUE(page);
  EXPECT_EQ(page->status, 200);
  EXPECT_EQ(page->get_header_value("Content-Type"), "text/html; charset=utf-8");
  EXPECT_EQ(page->get_header_value("X-Content-Type-Options"), "nosniff");
  EXPECT_EQ(page->get_header_value("Content-Security-Policy").rfind("default-src 'self'", 0), 0u);
  page = client.Get("/app.js");
  ASSERT_TRUE(page);
  EXPECT_EQ(page->get_header_value("Content-Type"), "text/javascript; charset=utf-8");

  // Slow clients hold a connection each (more than a small pool of workers
  // has), and others are still served well before the slow ones time out.
  std::vector<int> slow;
  for (int i = 0; i < 24; ++i) {
    const int fd = rawConnect(qxrd.port());
    ASSERT_GE(fd, 0);
    const std::string partial = "POST /api/login HTTP/1.1\r\nHost: x\r\nContent-Length: 100\r\n\r\n{\"us";
    (void)!::write(fd, partial.data(), partial.size());
    slow.push_back(fd);
  }
  httplib::Client quick("127.0.0.1", qxrd.port());
  quick.set_read_timeout(4, 0);  // below qxrd's own 5 s for a slow client
  auto me = quick.Get("/api/me");
  ASSERT_TRUE(me);
  EXPECT_EQ(me->status, 401);
  EXPECT_EQ(me->get_header_value("Content-Type"), "application/json");

  // Paths out of the web directory, hidden and odd ones: 404, never a file.
  for (const char* path : {"/../secret.txt", "/%2e%2e/secret.txt", "/..%2fsecret.txt", "/.hidden", "/index.html%00.js",
                           "/app.js/", "//etc/passwd", "/%2fetc%2fpasswd", "/nothing.html"}) {
    const int status = rawStatus(qxrd.port(), std::string("GET ") + path + " HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
    EXPECT_TRUE(status == 404 || status == 400) << path << " " << status;
  }
  EXPECT_EQ(rawStatus(qxrd.port(), "POST /index.html HTTP/1.1\r\nHost: x\r\nContent-Length: 0\r\nConnection: close\r\n\r\n"), 405);
  EXPECT_EQ(rawStatus(qxrd.port(), "BREW / HTTP/1.1\r\nHost: x\r\n\r\n") / 100, 4);
  EXPECT_EQ(rawStatus(qxrd.port(), "GARBAGE\r\n\r\n") / 100, 4);

  const auto huge = client.Post("/api/login", std::string(5u << 20, 'x'), "application/json");
  ASSERT_TRUE(huge);
  EXPECT_EQ(huge->status, 413);

  const auto login = client.Post("/api/login", R"({"user":"olga","password":"olga-pw"})", "application/json");
  ASSERT_TRUE(login);
  EXPECT_EQ(login->status, 200);
  EXPECT_NE(login->get_header_value("Set-Cookie").find("HttpOnly; SameSite=Strict; Path=/"), std::string::npos);
  EXPECT_EQ(login->get_header_value("Set-Cookie").find("Secure"), std::string::npos);  // no TLS here

  for (const int fd : slow) ::close(fd);
  const int status = qxrd.process().stop(SIGTERM);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

// A transfer under way when qxrd ends: by SIGTERM it is stopped and
// journalled so, and qxrd exits 0; by kill -9 the next start marks it
// interrupted.
TEST(QxrdProcess, EndsInMidTransferWithAConsistentJournal) {
  QXR_REQUIRE_TOOL("qxremu");
  QXR_REQUIRE_TOOL("qxrd");
  test::ServiceOptions options;
  options.machines = 1;
  options.emulator.baud = 1200;  // a few lines a second: the transfer is caught under way
  ServiceStartDir start(options);
  const std::string send = QJsonDocument(QJsonObject{{"number", 8}, {"text", QString::fromStdString(longProgram(400))}})
                               .toJson(QJsonDocument::Compact).toStdString();

  // Sends and waits until the transfer is under way; the bearer header.
  const auto startSending = [&](test::ServiceProcess& qxrd) {
    httplib::Client client("127.0.0.1", qxrd.port());
    const auto login = client.Post("/api/login", R"({"user":"olga","password":"olga-pw"})", "application/json");
    EXPECT_TRUE(login && login->status == 200);
    const httplib::Headers bearer = {{"Authorization", "Bearer " + str(parse(login ? login->body : ""), "token")}};
    const auto sent = client.Post("/api/machines/M1/send", bearer, send, "application/json");
    EXPECT_TRUE(sent && sent->status == 202) << (sent ? sent->body : "no reply");
    const std::string job = "/api/jobs/" + std::to_string(parse(sent ? sent->body : "").value("job").toInteger());
    EXPECT_TRUE(test::waitUntil([&] {
      const auto view = client.Get(job.c_str(), bearer);
      return view && parse(view->body).value("progress").toObject().value("done").toInt() > 2;
    })) << start.emulator(0).logText();
    return bearer;
  };
  const auto results = [&](test::ServiceProcess& qxrd, const httplib::Headers& bearer) {
    httplib::Client client("127.0.0.1", qxrd.port());
    const auto journal = client.Get("/api/journal?machine=M1", bearer);
    std::vector<std::string> names;
    for (const auto& record : parse(journal ? journal->body : "").value("records").toArray())
      names.push_back(str(record.toObject(), "result"));
    return names;
  };

  {
    test::ServiceProcess qxrd(start);
    ASSERT_GT(qxrd.port(), 0) << qxrd.firstLine();
    startSending(qxrd);
    qxrd.process().stop(SIGKILL);
  }
  test::ServiceProcess qxrd(start);
  ASSERT_GT(qxrd.port(), 0) << qxrd.firstLine();
  const httplib::Headers bearer = startSending(qxrd);
  EXPECT_EQ(results(qxrd, bearer), (std::vector<std::string>{"running", "interrupted"}));
  const int status = qxrd.process().stop(SIGTERM);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  Journal journal(start.journalPath());
  const std::vector<TransferRecord> records = journal.query({});
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].result, TransferResult::kStopped);
  EXPECT_EQ(records[1].result, TransferResult::kInterrupted);
}

TEST(QxrdProcess, ServesTlsWithSecureCookies) {
  QXR_REQUIRE_TOOL("qxremu");
  QXR_REQUIRE_TOOL("qxrd");
  QXR_REQUIRE_TOOL("openssl");
  test::ServiceOptions options;
  options.machines = 0;
  ServiceStartDir start(options);
  const test::ToolRun made = test::runShell(
      "cd " + start.dir() + " && openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes "
      "-subj /CN=localhost -days 2 -keyout key.pem -out cert.pem 2>&1");
  ASSERT_EQ(made.code, 0) << made.output;
  {
    test::ServiceProcess wrong(start, {"--tls-cert", start.file("cert.pem"), "--tls-key", start.file("Machines.ini")});
    EXPECT_EQ(wrong.port(), 0);
    const int status = wrong.process().stop(0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
  }
  test::ServiceProcess qxrd(start, {"--tls-cert", start.file("cert.pem"), "--tls-key", start.file("key.pem")});
  ASSERT_GT(qxrd.port(), 0) << qxrd.firstLine();
  EXPECT_EQ(qxrd.firstLine().rfind("qxrd: listening on https://", 0), 0u) << qxrd.firstLine();
  httplib::SSLClient client("127.0.0.1", qxrd.port());
  client.enable_server_certificate_verification(false);
  const auto login = client.Post("/api/login", R"({"user":"vic","password":"vic-pw"})", "application/json");
  ASSERT_TRUE(login) << httplib::to_string(login.error());
  EXPECT_EQ(login->status, 200);
  EXPECT_NE(login->get_header_value("Set-Cookie").find("; Secure"), std::string::npos);
  // Plain HTTP on the TLS port gets no reply and does not disturb it.
  EXPECT_EQ(rawStatus(qxrd.port(), "GET /api/me HTTP/1.1\r\nHost: x\r\n\r\n"), 0);
  const auto me = client.Get("/api/me");
  ASSERT_TRUE(me);
  EXPECT_EQ(me->status, 401);
}

TEST(QxrdProcess, UserCommands) {
  QXR_REQUIRE_TOOL("qxrd");
  test::TempDir dir;
  const std::string qxrd = test::toolCommand("qxrd") + " --start-dir " + dir.dir();
  EXPECT_EQ(test::runShell("printf 'secret\\n' | " + qxrd + " user add anna --role operator --language zh").code, 0);
  EXPECT_EQ(test::runShell("printf '\\n' | " + qxrd + " user add bob --role viewer").code, 1);
  EXPECT_EQ(test::runShell("printf 'x\\n' | " + qxrd + " user add bob --role king").code, 2);
  EXPECT_EQ(test::runShell("printf 'x\\n' | " + qxrd + " user add bad/name --role viewer").code, 2);
  const test::ToolRun list = test::runShell(qxrd + " user list");
  EXPECT_EQ(list.code, 0);
  EXPECT_EQ(list.output, "anna\toperator\tzh\n");
  EXPECT_EQ(test::runShell(qxrd + " user remove anna").code, 0);
  EXPECT_EQ(test::runShell(qxrd + " user remove anna").code, 1);
  EXPECT_EQ(test::runShell(qxrd + " --listen").code, 2);
}

}  // namespace
}  // namespace qxr
