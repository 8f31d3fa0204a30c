#include "service/sessions.h"

#include <sodium.h>

#include <algorithm>
#include <chrono>
#include <vector>

#include "service/sodium.h"

namespace qxr {

namespace {

std::int64_t steadyNowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// Sessions are kept under a digest of their token: a lookup then compares
// digests, and how long it takes tells nothing about the tokens themselves.
std::string tokenKey(std::string_view token) {
  ensureSodium();
  unsigned char digest[crypto_generichash_BYTES];
  ::crypto_generichash(digest, sizeof digest, reinterpret_cast<const unsigned char*>(token.data()),
                       token.size(), nullptr, 0);
  return std::string(reinterpret_cast<const char*>(digest), sizeof digest);
}

// Entries kept per map of the throttle at most: beyond, the one failed
// longest ago is forgotten first.
constexpr std::size_t kThrottleEntries = 4096;
// Failures counted at most (their wait stopped growing long before).
constexpr int kCountCap = 1000;

}  // namespace

std::string randomToken(std::size_t bytes) {
  ensureSodium();
  std::vector<unsigned char> raw(bytes);
  ::randombytes_buf(raw.data(), raw.size());
  std::string hex(2 * bytes + 1, '\0');
  ::sodium_bin2hex(hex.data(), hex.size(), raw.data(), raw.size());
  hex.pop_back();
  ::sodium_memzero(raw.data(), raw.size());
  return hex;
}

bool tokensEqual(std::string_view a, std::string_view b) {
  // An empty token (a header or cookie left out) never matches.
  if (a.empty() || a.size() != b.size()) return false;
  ensureSodium();
  return ::sodium_memcmp(a.data(), b.data(), a.size()) == 0;
}

// ---------------------------------------------------------------- sessions

SessionStore::SessionStore() : SessionStore(Limits{}) {}

SessionStore::SessionStore(Limits limits, std::function<std::int64_t()> nowMs)
    : limits_(limits), now_(nowMs ? std::move(nowMs) : std::function<std::int64_t()>(steadyNowMs)) {}

void SessionStore::expireLocked(std::int64_t now) {
  std::erase_if(sessions_, [&](const auto& entry) {
    const WebSession& s = entry.second;
    return now - s.lastUsedMs >= limits_.idleMs || now - s.createdMs >= limits_.lifetimeMs;
  });
}

WebSession SessionStore::open(const User& user) {
  WebSession session;
  session.token = randomToken();
  session.csrf = randomToken();
  session.user = user.name;
  session.role = user.role;
  session.language = user.language;
  const std::string key = tokenKey(session.token);

  std::lock_guard lock(mutex_);
  const std::int64_t now = now_();
  session.createdMs = session.lastUsedMs = now;
  expireLocked(now);
  // The user's oldest sessions end to make room.
  for (;;) {
    std::size_t count = 0;
    auto oldest = sessions_.end();
    for (auto it = sessions_.begin(); it != sessions_.end(); ++it) {
      if (it->second.user != user.name) continue;
      ++count;
      if (oldest == sessions_.end() || it->second.createdMs < oldest->second.createdMs) oldest = it;
    }
    if (count < std::max<std::size_t>(limits_.perUser, 1)) break;
    sessions_.erase(oldest);
  }
  sessions_.emplace(key, session);
  return session;
}

std::optional<WebSession> SessionStore::check(std::string_view token) {
  if (token.empty()) return std::nullopt;
  const std::string key = tokenKey(token);
  std::lock_guard lock(mutex_);
  const std::int64_t now = now_();
  expireLocked(now);
  auto it = sessions_.find(key);
  if (it == sessions_.end() || !tokensEqual(it->second.token, token)) return std::nullopt;
  it->second.lastUsedMs = now;
  return it->second;
}

void SessionStore::close(std::string_view token) {
  const std::string key = tokenKey(token);
  std::lock_guard lock(mutex_);
  auto it = sessions_.find(key);
  if (it != sessions_.end() && tokensEqual(it->second.token, token)) sessions_.erase(it);
  expireLocked(now_());
}

void SessionStore::closeUser(std::string_view user) {
  std::lock_guard lock(mutex_);
  std::erase_if(sessions_, [&](const auto& entry) { return entry.second.user == user; });
  expireLocked(now_());
}

void SessionStore::setLanguage(std::string_view user, const std::string& language) {
  std::lock_guard lock(mutex_);
  for (auto& [key, session] : sessions_) {
    if (session.user == user) session.language = language;
  }
}

std::size_t SessionStore::size() const {
  std::lock_guard lock(mutex_);
  return sessions_.size();
}

// ---------------------------------------------------------------- throttle

LoginThrottle::LoginThrottle(std::function<std::int64_t()> nowMs)
    : now_(nowMs ? std::move(nowMs) : std::function<std::int64_t()>(steadyNowMs)) {}

namespace {

// Forgets failures older than `forgetMs`; beyond `cap` entries (one is about
// to be added), those that failed longest ago, so that a flood of names or
// addresses cannot grow the maps without end.
template <class Map>
void forgetOld(Map& map, std::int64_t now, std::int64_t forgetMs, std::size_t cap) {
  std::erase_if(map, [&](const auto& entry) { return now - entry.second.lastMs >= forgetMs; });
  while (map.size() >= cap) {
    auto oldest = std::min_element(map.begin(), map.end(), [](const auto& a, const auto& b) {
      return a.second.lastMs < b.second.lastMs;
    });
    map.erase(oldest);
  }
}

template <class Map>
void countFailure(Map& map, std::string_view key, std::int64_t now) {
  auto it = map.find(key);
  if (it == map.end()) it = map.emplace(std::string(key), typename Map::mapped_type{}).first;
  it->second.count = std::min(it->second.count + 1, kCountCap);
  it->second.lastMs = now;
}

}  // namespace

int LoginThrottle::waitFor(const Failures& failures, std::int64_t now) const {
  if (failures.count < kFreeFailures) return 0;
  const int doublings = failures.count - kFreeFailures;
  const std::int64_t waitS =
      doublings >= 6 ? kLongestWaitS : std::min<std::int64_t>(kLongestWaitS, 1LL << doublings);
  const std::int64_t leftMs = waitS * 1000 - (now - failures.lastMs);
  if (leftMs <= 0) return 0;
  return static_cast<int>((leftMs + 999) / 1000);
}

int LoginThrottle::waitSeconds(std::string_view user, std::string_view address) {
  std::lock_guard lock(mutex_);
  const std::int64_t now = now_();
  forgetOld(byUser_, now, kForgetAfterMs, kThrottleEntries + 1);
  forgetOld(byAddress_, now, kForgetAfterMs, kThrottleEntries + 1);
  int wait = 0;
  if (auto it = byUser_.find(user); it != byUser_.end()) wait = std::max(wait, waitFor(it->second, now));
  if (auto it = byAddress_.find(address); it != byAddress_.end())
    wait = std::max(wait, waitFor(it->second, now));
  return wait;
}

void LoginThrottle::failed(std::string_view user, std::string_view address) {
  std::lock_guard lock(mutex_);
  const std::int64_t now = now_();
  forgetOld(byUser_, now, kForgetAfterMs, byUser_.count(user) ? kThrottleEntries + 1 : kThrottleEntries);
  forgetOld(byAddress_, now, kForgetAfterMs,
            byAddress_.count(address) ? kThrottleEntries + 1 : kThrottleEntries);
  countFailure(byUser_, user, now);
  countFailure(byAddress_, address, now);
}

void LoginThrottle::succeeded(std::string_view user) {
  std::lock_guard lock(mutex_);
  if (auto it = byUser_.find(user); it != byUser_.end()) byUser_.erase(it);
}

}  // namespace qxr
