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

// Letters, digits, '.', '-', '_' and '@'; 1 to kUserNameLimit bytes.
bool isValidUserName(std::string_view name);

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
  // file is never overwritten.
  bool load(std::string* error = nullptr);

  std::vector<User> users() const;  // in the file's order
  std::optional<User> find(std::string_view name) const;
  bool empty() const;

  // Adds the user or replaces its role, language and password; saves at
  // once. False with the reason in the operator's English.
  bool put(const std::string& name, Role role, std::string_view password, const std::string& language,
           std::string* error = nullptr);
  bool setLanguage(std::string_view name, const std::string& language, std::string* error = nullptr);
  bool remove(std::string_view name, std::string* error = nullptr);

  // The user when `password` is theirs. An unknown name costs the same work
  // as a known one, so that timing does not tell which names exist.
  std::optional<User> authenticate(std::string_view name, std::string_view password) const;

 private:
  bool saveLocked(std::string* error) const;
  std::string path_;
  mutable std::mutex mutex_;
  std::vector<User> users_;
  std::string damaged_;  // why the file was not taken; empty when it was
};

}  // namespace qxr
