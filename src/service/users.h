#pragma once
// The users of the shop service and what each may do. Every user has one
// role; passwords are kept only as memory-hard hashes (Argon2id through
// libsodium), in a file of the start directory written atomically with mode
// 0600:
//
//   # qxrd users: name TAB role TAB language TAB hash
//   anna<TAB>operator<TAB>zh<TAB>$argon2id$v=19$m=65536,t=2,p=1$...
//
// Thread safety: one UserStore may be used by many threads.
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qxr {

inline constexpr const char* kUserFileName = "Users.txt";
inline constexpr std::size_t kUserNameLimit = 32;
inline constexpr std::size_t kPasswordLimit = 256;

// viewer: status and journal; operator: also send, receive, compare and stop;
// admin: also machines and users.
enum class Role { kViewer = 0, kOperator = 1, kAdmin = 2 };
const char* roleName(Role role);  // "viewer", "operator", "admin"
std::optional<Role> roleOfName(std::string_view name);
// Whether a user of role `have` may do what needs `need`.
inline bool roleAllows(Role have, Role need) { return static_cast<int>(have) >= static_cast<int>(need); }

// "en" or "zh": the language of the user's page and messages.
bool isUserLanguage(std::string_view language);

struct User {
  std::string name;
  Role role = Role::kViewer;
  std::string language = "en";
  std::string passwordHash;  // libsodium's crypto_pwhash_str text
};

// Letters, digits, '.', '-', '_' and '@'; 1 to kUserNameLimit bytes; not
// "." or ".." (a name stands in a URL path).
bool isValidUserName(std::string_view name);

// Why `password` may not be set or tried, in English; empty when it may: it
// must be 1 to kPasswordLimit bytes without NUL or other control bytes.
std::string passwordProblem(std::string_view password);

// A memory-hard hash of `password`, empty when it could not be made (out of
// memory). At most two are computed at a time in a process, so that a burst
// of logins cannot exhaust memory.
std::string hashPassword(std::string_view password);
// Whether `password` matches `hash` (false for a damaged hash).
bool verifyPassword(const std::string& hash, std::string_view password);

class UserStore {
 public:
  explicit UserStore(std::string path);
  static std::string pathIn(const std::string& startDir);
  const std::string& path() const { return path_; }

  // Reads the file; a missing file is no users and no error. False with the
  // reason (naming the line) when it cannot be read or a line is damaged:
  // the store then refuses every login and every change, so that a damaged
  // file is never overwritten. A store that was never loaded refuses too.
  // Once loaded, the store reads the file again whenever it has changed on
  // disk (another process, such as `qxrd user add`, wrote it), before it
  // answers or changes anything, so that no change made elsewhere is lost.
  bool load(std::string* error = nullptr);
  // Why the file was not taken (as load() said); empty when it was.
  std::string problem() const;

  std::vector<User> users() const;  // in the file's order
  std::optional<User> find(std::string_view name) const;
  bool empty() const;

  // Adds the user or replaces its role, language and password; saves at
  // once. False with the reason in the operator's English. A new name that
  // differs from an existing one only in letter case is refused.
  bool put(const std::string& name, Role role, std::string_view password, const std::string& language,
           std::string* error = nullptr);
  bool setLanguage(std::string_view name, const std::string& language, std::string* error = nullptr);
  bool remove(std::string_view name, std::string* error = nullptr);

  // The user when `password` is theirs. An unknown name costs the same work
  // as a known one, so that timing does not tell which names exist.
  std::optional<User> authenticate(std::string_view name, std::string_view password) const;

 private:
  // The file as last read or written, to tell when another process changed it.
  struct Stamp {
    bool exists = false;
    std::uint64_t device = 0, inode = 0, size = 0;
    std::int64_t modifiedNs = 0;
    bool operator==(const Stamp&) const = default;
  };
  static Stamp stampOf(const std::string& path);
  bool loadLocked(std::string* error) const;
  void refreshLocked() const;
  bool saveLocked(std::string* error) const;
  // Applies `change` to the named user and saves, or leaves all as it was
  // (a damaged file, an unknown name, a failed save).
  bool changeUser(std::string_view name, const std::function<void(std::vector<User>::iterator)>& change,
                  std::string* error);
  std::string path_;
  mutable std::mutex mutex_;
  mutable std::vector<User> users_;
  mutable std::string damaged_;  // why the file was not taken; empty when it was
  mutable bool loaded_ = false;
  mutable Stamp stamp_;
};

}  // namespace qxr
