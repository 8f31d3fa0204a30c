// The shop service's API routes (see api.h).
#include "api.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>

#include <charconv>
#include <cmath>
#include <optional>

#include "base/codec.h"
#include "base/session.h"
#include "nc/programtext.h"
#include "service/jobs.h"
#include "service/sessions.h"
#include "service/users.h"
#include "shop/journal.h"
#include "shop/machines.h"
#include "sim/convert.h"
#include "sim/preview.h"

namespace qxr {

namespace {

constexpr int kPreviewWidth = 800;
constexpr int kPreviewHeight = 600;
constexpr int kJournalLimit = 10000;  // records in one reply at most
// A preview is drawn on a request thread for anyone signed in: a program
// whose jumps loop without moving, or repeat moves without end, is cut off
// after a few milliseconds of work and a reply of a few MiB, not after the
// window's far larger bounds.
constexpr std::size_t kPreviewMoveLimit = 100'000;
constexpr long kPreviewStepLimit = 2'000'000;

QString qs(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }
std::string ss(const QString& text) { return text.toUtf8().toStdString(); }

ApiResponse json(int status, const QJsonObject& object) {
  ApiResponse response;
  response.status = status;
  response.body = QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString();
  return response;
}
ApiResponse ok(const QJsonObject& object = {}) { return json(200, object); }

std::vector<std::string> splitPath(std::string_view path) {
  std::vector<std::string> segments;
  std::size_t start = 0;
  while (start <= path.size()) {
    const std::size_t slash = path.find('/', start);
    const std::size_t end = slash == std::string_view::npos ? path.size() : slash;
    segments.emplace_back(path.substr(start, end - start));
    start = end + 1;
  }
  return segments;
}

// ---- strict bodies ----

enum class FieldType { kString, kInt, kBool };
struct Field {
  const char* name;
  FieldType type;
  bool required;
};

const char* typeName(FieldType type) {
  switch (type) {
    case FieldType::kString: return "a string";
    case FieldType::kInt: return "an integer";
    case FieldType::kBool: return "true or false";
  }
  return "";
}

bool isInteger(const QJsonValue& value) {
  if (!value.isDouble()) return false;
  const double number = value.toDouble();
  return std::isfinite(number) && std::trunc(number) == number && std::fabs(number) <= 2e9;
}

// The body as a JSON object whose fields are among `fields`, each of its
// type, the required ones present. An empty body is an empty object.
std::optional<QJsonObject> parseBody(const std::string& body, std::initializer_list<Field> fields,
                                     std::string& reason) {
  QJsonObject object;
  if (body.find_first_not_of(" \t\r\n") != std::string::npos) {
    QJsonParseError parseError;
    const QJsonDocument document =
        QJsonDocument::fromJson(QByteArray(body.data(), static_cast<qsizetype>(body.size())), &parseError);
    if (parseError.error != QJsonParseError::NoError) {
      reason = "the body is not JSON: " + ss(parseError.errorString()) + " at offset " +
               std::to_string(parseError.offset);
      return std::nullopt;
    }
    if (!document.isObject()) {
      reason = "the body must be a JSON object";
      return std::nullopt;
    }
    object = document.object();
  }
  for (auto it = object.begin(); it != object.end(); ++it) {
    const std::string key = ss(it.key());
    const Field* field = nullptr;
    for (const Field& f : fields)
      if (key == f.name) field = &f;
    if (field == nullptr) {
      reason = "unknown field \"" + key.substr(0, 64) + "\"";
      return std::nullopt;
    }
    const QJsonValue value = it.value();
    const bool fits = field->type == FieldType::kString ? value.isString()
                      : field->type == FieldType::kInt  ? isInteger(value)
                                                        : value.isBool();
    if (!fits) {
      reason = "field \"" + key + "\" must be " + typeName(field->type);
      return std::nullopt;
    }
  }
  for (const Field& f : fields) {
    if (f.required && !object.contains(QLatin1String(f.name))) {
      reason = "field \"" + std::string(f.name) + "\" is missing";
      return std::nullopt;
    }
  }
  return object;
}

std::string text(const QJsonObject& object, const char* name) { return ss(object.value(QLatin1String(name)).toString()); }
std::optional<std::string> optionalText(const QJsonObject& object, const char* name) {
  if (!object.contains(QLatin1String(name))) return std::nullopt;
  return text(object, name);
}
std::optional<int> optionalInt(const QJsonObject& object, const char* name) {
  if (!object.contains(QLatin1String(name))) return std::nullopt;
  return static_cast<int>(object.value(QLatin1String(name)).toDouble());
}

// ---- replies ----

QJsonValue progressJson(const std::optional<ProgressSnapshot>& progress) {
  if (!progress) return QJsonValue::Null;
  return QJsonObject{{"done", qint64(progress->done)},
                     {"total", qint64(progress->total)},
                     {"perMille", progress->perMille()},
                     {"secondsLeft", qint64(progress->secondsLeft)}};
}

QJsonObject jobJson(const JobView& job, bool withText) {
  QJsonArray messages;
  for (const std::string& message : job.messages) messages.append(qs(message));
  QJsonObject object{{"id", qint64(job.id)},
                     {"machine", qs(job.machine)},
                     {"user", qs(job.user)},
                     {"operation", jobKindName(job.kind)},
                     {"state", jobStateName(job.state)},
                     {"number", job.number},
                     {"name", qs(job.name)},
                     {"created", qs(job.created)},
                     {"started", qs(job.started)},
                     {"ended", qs(job.ended)},
                     {"messages", messages},
                     {"progress", progressJson(job.progress)}};
  if (job.kind == JobKind::kReceive && job.state == JobState::kFinished) {
    if (withText) object.insert("text", qs(job.programText));
    object.insert("library", qs(job.libraryPath));
  }
  if (job.same) object.insert("same", *job.same);
  return object;
}

std::string modelText(const Machine& machine) {
  const int model = machine.modelIndex >= 0 && machine.modelIndex < kModelCount ? machine.modelIndex : 0;
  const int version = machine.versionIndex >= 0 && machine.versionIndex < 3 ? machine.versionIndex : 0;
  return std::string(kModelNames[model]) + " " + kVersionNames[version];
}

int pageLanguage(const std::string& language) { return language == "zh" ? 0 : 1; }

std::string sessionCookie(const std::string& value, bool tls, bool clear) {
  std::string cookie = std::string(kSessionCookie) + "=" + value + "; HttpOnly; SameSite=Strict; Path=/";
  if (tls) cookie += "; Secure";
  if (clear) cookie += "; Max-Age=0";
  return cookie;
}

// The value of cookie `name` in a Cookie header, empty when absent.
std::string cookieValue(std::string_view header, std::string_view name) {
  std::size_t start = 0;
  while (start < header.size()) {
    std::size_t end = header.find(';', start);
    if (end == std::string_view::npos) end = header.size();
    std::string_view part = header.substr(start, end - start);
    while (!part.empty() && part.front() == ' ') part.remove_prefix(1);
    if (part.size() > name.size() && part.substr(0, name.size()) == name && part[name.size()] == '=')
      return std::string(part.substr(name.size() + 1));
    start = end + 1;
  }
  return {};
}

// A positive decimal number of at most 18 digits.
std::optional<std::int64_t> positiveId(std::string_view text) {
  if (text.empty() || text.size() > 18) return std::nullopt;
  std::int64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value < 1) return std::nullopt;
  return value;
}

}  // namespace

std::string ApiRequest::header(std::string_view name) const {
  const auto it = headers.find(std::string(name));
  return it == headers.end() ? std::string() : it->second;
}

struct ApiRouter::Call {
  const ApiRequest& request;
  std::vector<std::string> segments;  // after "/api/"
  WebSession session;
  bool byCookie = false;
  std::string reason;  // of a refused body
};

ApiRouter::ApiRouter(Services services) : services_(std::move(services)) {}

void ApiRouter::log(const Call& call, const std::string& what) const {
  if (!services_.log) return;
  std::string line = call.request.clientAddress + " ";
  line += call.session.user.empty() ? "-" : call.session.user;
  line += " " + what;
  // One line whatever a name holds.
  for (char& ch : line)
    if (static_cast<unsigned char>(ch) < 0x20 || ch == 0x7f) ch = '?';
  services_.log(line);
}

ApiResponse ApiRouter::error(int status, std::string_view reason) {
  return json(status, QJsonObject{{"error", qs(reason)}});
}

ApiResponse ApiRouter::handle(const ApiRequest& request) {
  if (request.body.size() > kApiBodyLimit) return error(413, "the body is larger than 4 MiB");
  if (request.path.rfind("/api/", 0) != 0) return error(404, "no such route");
  Call call{request, splitPath(std::string_view(request.path).substr(5)), {}, false, {}};
  if (call.segments.size() == 1 && call.segments[0] == "login") {
    if (request.method != "POST") {
      ApiResponse response = error(405, "method not allowed");
      response.headers.emplace_back("Allow", "POST");
      return response;
    }
    return login(call);
  }
  // Everything else needs a session, before it may learn even which routes exist.
  std::string token;
  const std::string authorization = request.header("authorization");
  if (authorization.rfind("Bearer ", 0) == 0) {
    token = authorization.substr(7);
  } else {
    token = cookieValue(request.header("cookie"), kSessionCookie);
    call.byCookie = true;
  }
  std::optional<WebSession> session;
  if (!token.empty()) session = services_.sessions->check(token);
  if (!session) return error(401, "not signed in, or the session has ended");
  call.session = std::move(*session);
  return route(call);
}

ApiResponse ApiRouter::route(Call& call) {
  const std::vector<std::string>& s = call.segments;
  const std::string& method = call.request.method;
  // Which methods the path takes, and what each needs.
  struct Method {
    const char* name;
    Role role;
  };
  std::vector<Method> methods;
  const std::size_t n = s.size();
  const auto is = [&](std::size_t i, const char* word) { return i < n && s[i] == word; };
  if (n == 1 && is(0, "logout")) methods = {{"POST", Role::kViewer}};
  else if (n == 1 && is(0, "me")) methods = {{"GET", Role::kViewer}};
  else if (n == 2 && is(0, "me") && is(1, "language")) methods = {{"POST", Role::kViewer}};
  else if (n == 1 && is(0, "machines")) methods = {{"GET", Role::kViewer}, {"POST", Role::kAdmin}};
  else if (n == 2 && is(0, "machines")) methods = {{"DELETE", Role::kAdmin}};
  else if (n == 3 && is(0, "machines") && (is(2, "send") || is(2, "receive") || is(2, "compare")))
    methods = {{"POST", Role::kOperator}};
  else if (n == 1 && is(0, "jobs")) methods = {{"GET", Role::kViewer}};
  else if (n == 2 && is(0, "jobs")) methods = {{"GET", Role::kViewer}};
  else if (n == 3 && is(0, "jobs") && is(2, "stop")) methods = {{"POST", Role::kOperator}};
  else if (n == 1 && is(0, "journal")) methods = {{"GET", Role::kViewer}};
  else if (n == 1 && is(0, "preview")) methods = {{"POST", Role::kViewer}};
  else if (n == 1 && is(0, "users")) methods = {{"GET", Role::kAdmin}, {"POST", Role::kAdmin}};
  else if (n == 2 && is(0, "users")) methods = {{"DELETE", Role::kAdmin}};
  if (methods.empty()) return error(404, "no such route");

  const Method* chosen = nullptr;
  std::string allow;
  for (const Method& m : methods) {
    if (method == m.name || (method == "HEAD" && std::string_view(m.name) == "GET")) chosen = &m;
    allow += (allow.empty() ? "" : ", ") + std::string(m.name);
  }
  if (chosen == nullptr) {
    ApiResponse response = error(405, "method not allowed");
    response.headers.emplace_back("Allow", allow);
    return response;
  }
  if (!roleAllows(call.session.role, chosen->role))
    return error(403, std::string("this needs the role ") + roleName(chosen->role));
  const bool changes = method != "GET" && method != "HEAD";
  if (changes && call.byCookie && !tokensEqual(call.request.header(kCsrfHeader), call.session.csrf))
    return error(403, "the X-CSRF-Token header is missing or wrong");

  if (is(0, "logout")) return logout(call);
  if (is(0, "me")) return n == 1 ? me(call) : setLanguage(call);
  if (is(0, "machines")) {
    if (n == 1) return method == "POST" ? putMachine(call) : machines(call);
    if (n == 2) return removeMachine(call, s[1]);
    return submit(call, s[1], s[2]);
  }
  if (is(0, "jobs")) {
    if (n == 1) return jobs(call);
    if (n == 2) return job(call, s[1]);
    return stopJob(call, s[1]);
  }
  if (is(0, "journal")) return journal(call);
  if (is(0, "preview")) return preview(call);
  if (n == 1) return method == "POST" ? putUser(call) : users(call);
  return removeUser(call, s[1]);
}

// ---- sessions ----

ApiResponse ApiRouter::login(Call& call) {
  const auto body = parseBody(call.request.body, {{"user", FieldType::kString, true},
                                                  {"password", FieldType::kString, true}}, call.reason);
  if (!body) return error(400, call.reason);
  const std::string user = text(*body, "user");
  const std::string password = text(*body, "password");
  if (user.size() > 256 || password.size() > kPasswordLimit) return error(400, "the user or password is too long");
  const int wait = services_.throttle->waitSeconds(user, call.request.clientAddress);
  if (wait > 0) {
    ApiResponse response = error(429, "too many failed logins: try again in " + std::to_string(wait) + " s");
    response.headers.emplace_back("Retry-After", std::to_string(wait));
    return response;
  }
  const std::optional<User> found = services_.users->authenticate(user, password);
  if (!found) {
    log(call, "failed login as " + user);
    services_.throttle->failed(user, call.request.clientAddress);
    return error(401, "wrong user or password");
  }
  services_.throttle->succeeded(user);
  const WebSession session = services_.sessions->open(*found);
  call.session.user = session.user;
  log(call, "logged in");
  ApiResponse response = ok(QJsonObject{{"token", qs(session.token)},
                                        {"csrf", qs(session.csrf)},
                                        {"user", qs(session.user)},
                                        {"role", roleName(session.role)},
                                        {"language", qs(session.language)}});
  response.headers.emplace_back("Set-Cookie", sessionCookie(session.token, call.request.tls, false));
  return response;
}

ApiResponse ApiRouter::logout(Call& call) {
  if (!parseBody(call.request.body, {}, call.reason)) return error(400, call.reason);
  services_.sessions->close(call.session.token);
  log(call, "logged out");
  ApiResponse response = ok();
  response.headers.emplace_back("Set-Cookie", sessionCookie("", call.request.tls, true));
  return response;
}

ApiResponse ApiRouter::me(Call& call) {
  return ok(QJsonObject{{"user", qs(call.session.user)},
                        {"role", roleName(call.session.role)},
                        {"language", qs(call.session.language)},
                        {"csrf", qs(call.session.csrf)}});
}

ApiResponse ApiRouter::setLanguage(Call& call) {
  const auto body = parseBody(call.request.body, {{"language", FieldType::kString, true}}, call.reason);
  if (!body) return error(400, call.reason);
  const std::string language = text(*body, "language");
  if (!isUserLanguage(language)) return error(400, "language must be \"en\" or \"zh\"");
  std::string why;
  if (!services_.users->setLanguage(call.session.user, language, &why)) return error(400, why);
  services_.sessions->setLanguage(call.session.user, language);
  return ok(QJsonObject{{"language", qs(language)}});
}

// ---- machines and jobs ----

ApiResponse ApiRouter::machines(Call&) {
  QJsonArray list;
  for (const MachineStatus& status : services_.board->machines()) {
    QJsonValue current = QJsonValue::Null;
    if (status.current) {
      const JobView& job = *status.current;
      current = QJsonObject{{"id", qint64(job.id)},
                            {"operation", jobKindName(job.kind)},
                            {"number", job.number},
                            {"name", qs(job.name)},
                            {"progress", progressJson(job.progress)}};
    }
    list.append(QJsonObject{{"name", qs(status.machine.name)},
                            {"model", qs(modelText(status.machine))},
                            {"port", qs(status.machine.port)},
                            {"state", machineActivityName(status.activity)},
                            {"queued", qint64(status.queued)},
                            {"problem", qs(status.problem)},
                            {"job", current}});
  }
  return ok(QJsonObject{{"machines", list}});
}

ApiResponse ApiRouter::submit(Call& call, const std::string& machine, const std::string& operation) {
  JobRequest request;
  std::optional<QJsonObject> body;
  if (operation == "receive") {
    request.kind = JobKind::kReceive;
    body = parseBody(call.request.body, {{"number", FieldType::kInt, true}}, call.reason);
  } else {
    request.kind = operation == "send" ? JobKind::kSend : JobKind::kCompare;
    // Without a number, a plain program's O-word gives it.
    body = parseBody(call.request.body, {{"number", FieldType::kInt, false},
                                         {"name", FieldType::kString, false},
                                         {"text", FieldType::kString, true}}, call.reason);
  }
  if (!body) return error(400, call.reason);
  if (!isValidMachineName(machine)) return error(400, "not a machine name");
  if (!services_.board->hasMachine(machine)) return error(404, "no machine of that name");
  request.machine = machine;
  const std::optional<int> number = optionalInt(*body, "number");
  if (number && (*number < 1 || *number > 99)) return error(400, "number must be 1 to 99");
  request.number = number.value_or(0);
  request.name = optionalText(*body, "name");
  request.text = text(*body, "text");
  if (!isValidUtf8(request.text)) return error(400, "the program text is not UTF-8");
  request.user = call.session.user;
  request.language = pageLanguage(call.session.language);
  const JobBoard::Submitted submitted = services_.board->submit(std::move(request));
  if (submitted.id == 0) return error(submitted.status == 202 ? 400 : submitted.status, submitted.reason);
  return json(202, QJsonObject{{"job", qint64(submitted.id)}});
}

ApiResponse ApiRouter::jobs(Call&) {
  QJsonArray list;
  for (const JobView& job : services_.board->jobs()) list.append(jobJson(job, false));
  return ok(QJsonObject{{"jobs", list}});
}

ApiResponse ApiRouter::job(Call&, const std::string& id) {
  const auto number = positiveId(id);
  const std::optional<JobView> found = number ? services_.board->job(*number) : std::nullopt;
  if (!found) return error(404, "no job of that id");
  return ok(jobJson(*found, true));
}

ApiResponse ApiRouter::stopJob(Call& call, const std::string& id) {
  if (!parseBody(call.request.body, {}, call.reason)) return error(400, call.reason);
  const auto number = positiveId(id);
  if (!number) return error(404, "no job of that id");
  switch (services_.board->stop(*number)) {
    case JobBoard::StopResult::kUnknown: return error(404, "no job of that id");
    case JobBoard::StopResult::kEnded: return error(409, "the job has ended");
    case JobBoard::StopResult::kStopping: break;
  }
  log(call, "stopped job " + std::to_string(*number));
  const std::optional<JobView> found = services_.board->job(*number);
  return ok(QJsonObject{{"state", found ? jobStateName(found->state) : "stopped"}});
}

ApiResponse ApiRouter::putMachine(Call& call) {
  const auto body = parseBody(call.request.body, {{"name", FieldType::kString, true},
                                                  {"model", FieldType::kString, true},
                                                  {"version", FieldType::kString, false},
                                                  {"port", FieldType::kString, true},
                                                  {"baud", FieldType::kInt, false},
                                                  {"timeout", FieldType::kInt, false},
                                                  {"mode", FieldType::kString, false},
                                                  {"pacing", FieldType::kInt, false}}, call.reason);
  if (!body) return error(400, call.reason);
  Machine machine;
  machine.name = text(*body, "name");
  if (!isValidMachineName(machine.name)) return error(400, "not a machine name");
  // The page names a machine in its paths, where a '/' or a dot path cannot stand.
  if (machine.name.find('/') != std::string::npos || machine.name == "." || machine.name == "..")
    return error(400, "a machine name may not contain '/' nor be \".\" or \"..\"");
  const auto model = modelIndexOfName(text(*body, "model"));
  if (!model) return error(400, "model must be one of QXR102 QXR202 QXR302 QXR101 QXR200 QXR300");
  machine.modelIndex = *model;
  if (const auto version = optionalText(*body, "version")) {
    const auto index = versionIndexOfName(*version);
    if (!index) return error(400, "version must be SD, K or M");
    machine.versionIndex = *index;
  }
  machine.port = text(*body, "port");
  if (!isValidMachinePort(machine.port)) return error(400, "port must be COMn, a device path or a network address");
  if (const auto baud = optionalInt(*body, "baud")) {
    if (!baudIndexOfRate(*baud)) return error(400, "baud must be 1200, 2400, 4800, 9600 or 19200");
    machine.baud = *baud;
  }
  if (const auto timeout = optionalInt(*body, "timeout")) {
    if (*timeout < 1 || *timeout > 600000) return error(400, "timeout must be 1 to 600000 ms");
    machine.timeoutMs = *timeout;
  }
  if (const auto mode = optionalText(*body, "mode")) {
    if (*mode != "block" && *mode != "byte") return error(400, "mode must be block or byte");
    machine.blockMode = *mode == "block";
  }
  if (const auto pacing = optionalInt(*body, "pacing")) {
    if (*pacing < 0 || *pacing > 1000) return error(400, "pacing must be 0 to 1000 ms");
    machine.pacingMs = *pacing;
  }
  std::lock_guard lock(machineFileMutex_);
  FileError readError = FileError::kNone;
  MachineFile file = MachineFile::load(services_.startDir, &readError);
  if (readError != FileError::kNone) return error(500, "the machine list cannot be read");
  if (const Machine* old = file.find(machine.name)) machine.folder = old->folder;
  file.put(machine);
  if (file.save(services_.startDir) != FileError::kNone) return error(500, "the machine list cannot be saved");
  services_.board->setMachines(file.machines());
  log(call, "put machine " + machine.name + " (" + modelText(machine) + ", " + machine.port + ")");
  return ok();
}

ApiResponse ApiRouter::removeMachine(Call& call, const std::string& name) {
  if (!parseBody(call.request.body, {}, call.reason)) return error(400, call.reason);
  if (!isValidMachineName(name)) return error(400, "not a machine name");
  std::lock_guard lock(machineFileMutex_);
  FileError readError = FileError::kNone;
  MachineFile file = MachineFile::load(services_.startDir, &readError);
  if (readError != FileError::kNone) return error(500, "the machine list cannot be read");
  if (!file.remove(name)) return error(404, "no machine of that name");
  if (file.save(services_.startDir) != FileError::kNone) return error(500, "the machine list cannot be saved");
  services_.board->setMachines(file.machines());
  log(call, "removed machine " + name);
  return ok();
}

// ---- journal and preview ----

ApiResponse ApiRouter::journal(Call& call) {
  JournalFilter filter;
  std::map<std::string, int> seen;
  for (const auto& [key, value] : call.request.query) {
    if (++seen[key] > 1) return error(400, "filter " + key.substr(0, 32) + " given twice");
    if (!isJournalFilter(key)) return error(400, "unknown filter " + key.substr(0, 32));
    if (key == "machine" && !value.empty() && !isValidMachineName(value)) return error(400, "not a machine name");
    if (const std::string why = setJournalFilter(filter, key, value); !why.empty()) return error(400, key + " " + why);
  }
  filter.limit = std::min(filter.limit, kJournalLimit);
  std::string body = "{\"records\":[";
  if (services_.journal != nullptr) {
    std::string why;
    const std::vector<TransferRecord> records = services_.journal->query(filter, &why);
    if (!why.empty()) return error(500, why);
    for (std::size_t i = 0; i < records.size(); ++i) {
      if (i > 0) body += ',';
      body += transferRecordJson(records[i]);
    }
  }
  body += "]}";
  ApiResponse response;
  response.body = std::move(body);
  return response;
}

ApiResponse ApiRouter::preview(Call& call) {
  const auto body = parseBody(call.request.body, {{"text", FieldType::kString, true},
                                                  {"number", FieldType::kInt, false}}, call.reason);
  if (!body) return error(400, call.reason);
  const int language = pageLanguage(call.session.language);
  GivenProgramHeader given;
  given.number = optionalInt(*body, "number").value_or(1);
  if (given.number < 1 || given.number > 99) return error(400, "number must be 1 to 99");
  const std::string bytes = utf8ToBytes(text(*body, "text"), language);
  const ProgramText program = parseProgramText(bytes, false, language, given);
  if (program.refused()) return error(400, programTextRefusal(1, program));
  if (program.file.status != ProgramFileStatus::kRead) return error(400, "the program cannot be read");
  LenientConversion conversion = convertLeniently(program.file.lines);
  PreviewLimits limits;
  limits.maxMoves = kPreviewMoveLimit;
  limits.maxSteps = kPreviewStepLimit;
  const PreviewPath path = buildPreviewPath(conversion.table, limits);
  conversion.table.clear();
  const PreviewView view = fitView(path.bounds, path.suggestedPlane, kPreviewWidth, kPreviewHeight);
  ApiResponse response;
  response.contentType = "image/svg+xml";
  response.body = previewSvg(path, view);
  response.headers.emplace_back("X-Preview-Moves", std::to_string(path.moves.size()));
  if (path.cutOff) response.headers.emplace_back("X-Preview-Cut-Off", "1");
  return response;
}

// ---- users ----

int ApiRouter::adminCount() const {
  int admins = 0;
  for (const User& user : services_.users->users()) admins += user.role == Role::kAdmin;
  return admins;
}

ApiResponse ApiRouter::users(Call&) {
  QJsonArray list;
  for (const User& user : services_.users->users())
    list.append(QJsonObject{{"name", qs(user.name)}, {"role", roleName(user.role)}, {"language", qs(user.language)}});
  return ok(QJsonObject{{"users", list}});
}

ApiResponse ApiRouter::putUser(Call& call) {
  const auto body = parseBody(call.request.body, {{"name", FieldType::kString, true},
                                                  {"role", FieldType::kString, true},
                                                  {"password", FieldType::kString, true},
                                                  {"language", FieldType::kString, false}}, call.reason);
  if (!body) return error(400, call.reason);
  const std::string name = text(*body, "name");
  if (!isValidUserName(name)) return error(400, "a user name is 1 to 32 letters, digits, '.', '-', '_' or '@'");
  const auto role = roleOfName(text(*body, "role"));
  if (!role) return error(400, "role must be viewer, operator or admin");
  const std::string password = text(*body, "password");
  if (password.empty() || password.size() > kPasswordLimit) return error(400, "the password must be 1 to 256 bytes");
  const std::string language = optionalText(*body, "language").value_or("en");
  if (!isUserLanguage(language)) return error(400, "language must be \"en\" or \"zh\"");
  const std::optional<User> before = services_.users->find(name);
  if (before && before->role == Role::kAdmin && *role != Role::kAdmin && adminCount() <= 1)
    return error(409, "the last admin keeps the role admin");
  std::string why;
  if (!services_.users->put(name, *role, password, language, &why)) return error(400, why);
  if (before && before->role != *role) services_.sessions->closeUser(name);
  log(call, (before ? "changed user " : "added user ") + name + " (" + roleName(*role) + ")");
  return ok();
}

ApiResponse ApiRouter::removeUser(Call& call, const std::string& name) {
  if (!parseBody(call.request.body, {}, call.reason)) return error(400, call.reason);
  if (!isValidUserName(name)) return error(400, "not a user name");
  const std::optional<User> found = services_.users->find(name);
  if (!found) return error(404, "no user of that name");
  if (found->role == Role::kAdmin && adminCount() <= 1) return error(409, "the last admin cannot be removed");
  std::string why;
  if (!services_.users->remove(name, &why)) return error(400, why);
  services_.sessions->closeUser(name);
  log(call, "removed user " + name);
  return ok();
}

}  // namespace qxr
