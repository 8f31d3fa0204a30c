#pragma once
// qxrd's HTTP server: cpp-httplib bound to the ApiRouter for /api/ and to
// the web directory for everything else.
#include <memory>
#include <string>
#include <string_view>

#include "api.h"

namespace qxr {

struct ServerOptions {
  std::string host = "127.0.0.1";
  int port = 8080;         // 0: any free port
  std::string webDir;
  std::string tlsCert, tlsKey;  // both or neither
  int threads = 64;  // a keep-alive connection holds one while it lasts
};

// The content type of a static file, by its extension.
std::string staticContentType(std::string_view path);
// The file under `webDir` that `urlPath` names ("/" is index.html), empty
// when the path may not name a file there (a "..", a hidden or control byte,
// a path outside the directory) or no regular file is there.
std::string staticFilePath(const std::string& webDir, std::string_view urlPath);

class HttpServer {
 public:
  HttpServer(ApiRouter& router, ServerOptions options);
  ~HttpServer();
  // False with the reason when the certificate cannot be used.
  bool valid(std::string* error) const;
  // Binds; the port it got (>0), or -1.
  int bind();
  // Serves until stop(); false when it could not listen.
  bool run();
  // From any thread (a signal's).
  void stop();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace qxr
