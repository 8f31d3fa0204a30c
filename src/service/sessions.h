#pragma once
// Signed-in sessions of the shop service and the slowing of failed logins.
//
// A session is a random token (256 bits from libsodium) that the page keeps
// in an HttpOnly, SameSite=Strict cookie and a script sends as a bearer
// token. It ends after a time without use and after a longest life, at
// logout, and when its user is removed or changes role. Each session also
// has an anti-forgery token that a request from the page must repeat in a
// header when it changes something.
//
// Thread safety: both classes may be used by many threads.
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "service/users.h"

namespace qxr {

// 2 * bytes hexadecimal characters from the system's secure random source.
std::string randomToken(std::size_t bytes = 32);
// Compares in time that does not depend on where the texts differ. An empty
// text (a header or cookie left out) never matches.
bool tokensEqual(std::string_view a, std::string_view b);

struct WebSession {
  std::string token;
  std::string csrf;
  std::string user;
  Role role = Role::kViewer;
  std::string language = "en";
  std::int64_t createdMs = 0;
  std::int64_t lastUsedMs = 0;
};

class SessionStore {
 public:
  struct Limits {
    std::int64_t idleMs = 8LL * 3600 * 1000;       // unused this long: ended
    std::int64_t lifetimeMs = 24LL * 3600 * 1000;  // never longer than this
    std::size_t perUser = 64;                      // the oldest is ended beyond this
  };
  // `nowMs`: a monotonic clock in milliseconds (tests pass their own).
  SessionStore();
  explicit SessionStore(Limits limits, std::function<std::int64_t()> nowMs = {});

  WebSession open(const User& user);
  // The live session of `token` (its last use set to now); nullopt when
  // there is none or it has expired (it is then forgotten).
  std::optional<WebSession> check(std::string_view token);
  void close(std::string_view token);
  // Ends every session of the user (removed, or given another role).
  void closeUser(std::string_view user);
  void setLanguage(std::string_view user, const std::string& language);
  std::size_t size() const;

 private:
  void expireLocked(std::int64_t now);
  Limits limits_;
  std::function<std::int64_t()> now_;
  mutable std::mutex mutex_;
  std::map<std::string, WebSession, std::less<>> sessions_;
};

// Failed logins are slowed per user name and per client address: after
// kFreeFailures failures, each further attempt must wait 2^(n - kFreeFailures)
// seconds after the last failure (at most kLongestWaitS); failures older than
// kForgetAfterMs are forgotten, and a successful login forgets its name's.
class LoginThrottle {
 public:
  static constexpr int kFreeFailures = 3;
  static constexpr int kLongestWaitS = 60;
  static constexpr std::int64_t kForgetAfterMs = 15LL * 60 * 1000;

  explicit LoginThrottle(std::function<std::int64_t()> nowMs = {});
  // Seconds to wait before an attempt for this name from this address is
  // taken; 0 when it may go ahead.
  int waitSeconds(std::string_view user, std::string_view address);
  void failed(std::string_view user, std::string_view address);
  void succeeded(std::string_view user);

 private:
  struct Failures {
    int count = 0;
    std::int64_t lastMs = 0;
  };
  int waitFor(const Failures& failures, std::int64_t now) const;
  std::function<std::int64_t()> now_;
  std::mutex mutex_;
  std::map<std::string, Failures, std::less<>> byUser_;
  std::map<std::string, Failures, std::less<>> byAddress_;
};

}  // namespace qxr
