// qxrd's HTTP server (see server.h).
#include "server.h"

#include <httplib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace qxr {

namespace {

namespace fs = std::filesystem;

constexpr time_t kReadTimeoutS = 5;
constexpr time_t kWriteTimeoutS = 5;
constexpr time_t kKeepAliveS = 5;
constexpr std::size_t kKeepAliveRequests = 100;

// On every reply, once (the error handler sees replies that have them). The
// page shows the preview it fetched as an image of a blob: URL of its own.
void secureHeaders(httplib::Response& res) {
  static const std::pair<const char*, const char*> kHeaders[] = {
      {"X-Content-Type-Options", "nosniff"},
      {"Content-Security-Policy",
       "default-src 'self'; img-src 'self' blob:; frame-ancestors 'none'; base-uri 'none'; form-action 'self'"},
      {"Referrer-Policy", "no-referrer"},
      {"X-Frame-Options", "DENY"}};
  for (const auto& [name, value] : kHeaders)
    if (!res.has_header(name)) res.set_header(name, value);
}

std::string lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char ch) { return static_cast<char>(std::tolower(ch)); });
  return text;
}

ApiRequest apiRequest(const httplib::Request& req, bool tls) {
  ApiRequest request;
  request.method = req.method;
  request.path = req.path;
  for (const auto& [name, value] : req.params) request.query.emplace(name, value);
  for (const auto& [name, value] : req.headers) request.headers.emplace(lower(name), value);
  request.body = req.body;
  request.clientAddress = req.remote_addr;
  request.tls = tls;
  return request;
}

void jsonError(httplib::Response& res, int status, const std::string& reason) {
  const ApiResponse response = ApiRouter::error(status, reason);
  res.status = status;
  res.set_content(response.body, response.contentType);
}

}  // namespace

std::string staticContentType(std::string_view path) {
  static const std::pair<const char*, const char*> kTypes[] = {
      {".html", "text/html; charset=utf-8"},  {".js", "text/javascript; charset=utf-8"},
      {".mjs", "text/javascript; charset=utf-8"}, {".css", "text/css; charset=utf-8"},
      {".json", "application/json"},          {".svg", "image/svg+xml"},
      {".png", "image/png"},                  {".ico", "image/x-icon"},
      {".woff2", "font/woff2"},               {".txt", "text/plain; charset=utf-8"},
      {".webmanifest", "application/manifest+json"}};
  const std::string name = lower(std::string(path));
  for (const auto& [ext, type] : kTypes) {
    const std::string_view e(ext);
    if (name.size() > e.size() && name.compare(name.size() - e.size(), e.size(), e) == 0) return type;
  }
  return "application/octet-stream";
}

std::string staticFilePath(const std::string& webDir, std::string_view urlPath) {
  if (webDir.empty() || urlPath.empty() || urlPath.front() != '/') return {};
  std::string relative(urlPath.substr(1));
  if (relative.empty()) relative = "index.html";
  // Each segment: letters, digits, '-', '_' and '.', never first.
  std::size_t start = 0;
  while (start <= relative.size()) {
    const std::size_t slash = std::min(relative.find('/', start), relative.size());
    const std::string_view segment(relative.data() + start, slash - start);
    if (segment.empty() || segment.front() == '.') return {};
    for (const char ch : segment) {
      const bool plain = (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9') ||
                         ch == '-' || ch == '_' || ch == '.';
      if (!plain) return {};
    }
    start = slash + 1;
  }
  std::error_code error;
  const fs::path root = fs::canonical(webDir, error);
  if (error) return {};
  const fs::path file = fs::canonical(root / relative, error);
  if (error || !fs::is_regular_file(file, error)) return {};
  // A link inside the directory may not lead out of it.
  const std::string rootText = root.string() + "/";
  if (file.string().compare(0, rootText.size(), rootText) != 0) return {};
  return file.string();
}

struct HttpServer::Impl {
  ApiRouter& router;
  ServerOptions options;
  std::unique_ptr<httplib::Server> server;
  bool tls = false;

  Impl(ApiRouter& r, ServerOptions o) : router(r), options(std::move(o)) {
    tls = !options.tlsCert.empty();
    if (tls) {
      server = std::make_unique<httplib::SSLServer>(options.tlsCert.c_str(), options.tlsKey.c_str());
    } else {
      server = std::make_unique<httplib::Server>();
    }
    const int threads = options.threads;
    server->new_task_queue = [threads] { return new httplib::ThreadPool(static_cast<std::size_t>(threads)); };
    server->set_payload_max_length(kApiBodyLimit);
    server->set_read_timeout(kReadTimeoutS, 0);
    server->set_write_timeout(kWriteTimeoutS, 0);
    server->set_keep_alive_timeout(kKeepAliveS);
    server->set_keep_alive_max_count(kKeepAliveRequests);
    server->set_tcp_nodelay(true);

    const auto handler = [this](const httplib::Request& req, httplib::Response& res) { serve(req, res); };
    server->Get(".*", handler);
    server->Post(".*", handler);
    server->Put(".*", handler);
    server->Delete(".*", handler);
    server->Patch(".*", handler);
    server->Options(".*", handler);
    server->set_error_handler(httplib::Server::HandlerWithResponse([](const httplib::Request&, httplib::Response& res) {
      secureHeaders(res);
      if (!res.body.empty()) return httplib::Server::HandlerResponse::Unhandled;
      const char* reason = res.status == 413 ? "the body is larger than 4 MiB"
                           : res.status == 404 ? "not found"
                           : res.status == 408 ? "the request took too long"
                                               : "bad request";
      jsonError(res, res.status, reason);
      return httplib::Server::HandlerResponse::Handled;
    }));
    server->set_exception_handler([](const httplib::Request&, httplib::Response& res, std::exception_ptr) {
      jsonError(res, 500, "internal error");
      secureHeaders(res);
    });
  }

  void serve(const httplib::Request& req, httplib::Response& res) {
    secureHeaders(res);
    if (req.path.rfind("/api/", 0) == 0) {
      const ApiResponse response = router.handle(apiRequest(req, tls));
      res.status = response.status;
      for (const auto& [name, value] : response.headers) res.set_header(name.c_str(), value);
      res.set_header("Cache-Control", "no-store");
      res.set_content(response.body, response.contentType.c_str());
      return;
    }
    if (req.method != "GET" && req.method != "HEAD") {
      jsonError(res, 405, "method not allowed");
      res.set_header("Allow", "GET, HEAD");
      return;
    }
    const std::string file = staticFilePath(options.webDir, req.path);
    std::string bytes;
    if (!file.empty()) {
      std::ifstream in(file, std::ios::binary);
      std::ostringstream buffer;
      buffer << in.rdbuf();
      if (in) bytes = buffer.str();
    }
    if (file.empty()) {
      res.status = 404;
      res.set_content("not found\n", "text/plain; charset=utf-8");
      return;
    }
    res.status = 200;
    res.set_header("Cache-Control", "no-cache");
    res.set_content(bytes, staticContentType(file).c_str());
  }
};

HttpServer::HttpServer(ApiRouter& router, ServerOptions options)
    : impl_(std::make_unique<Impl>(router, std::move(options))) {}

HttpServer::~HttpServer() = default;

bool HttpServer::valid(std::string* error) const {
  if (impl_->server->is_valid()) return true;
  if (error) *error = "the TLS certificate or key cannot be used";
  return false;
}

int HttpServer::bind() {
  if (impl_->options.port == 0) return impl_->server->bind_to_any_port(impl_->options.host);
  return impl_->server->bind_to_port(impl_->options.host, impl_->options.port) ? impl_->options.port : -1;
}

bool HttpServer::run() { return impl_->server->listen_after_bind(); }

void HttpServer::stop() { impl_->server->stop(); }

}  // namespace qxr
