#include "service/users.h"

#include <fcntl.h>
#include <sodium.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <semaphore>

#include "base/fileio.h"
#include "service/sessions.h"
#include "service/sodium.h"

namespace qxr {

void ensureSodium() {
  static std::once_flag once;
  std::call_once(once, [] {
    if (::sodium_init() < 0) {
      std::fputs("qxrd: libsodium could not start; stopping\n", stderr);
      std::abort();
    }
  });
}

namespace {

constexpr const char* kHeader = "# qxrd users: name TAB role TAB language TAB hash\n";
// The costliest hash a login may check: libsodium's "moderate" memory (256 MiB)
// and up to eight passes.
constexpr unsigned long long kLargestHashKiB = 256ULL * 1024;
constexpr unsigned long long kLargestHashPasses = 8;

// Each hash or verification takes crypto_pwhash_MEMLIMIT_INTERACTIVE (64 MiB):
// two at a time bound what a burst of logins can take.
std::counting_semaphore<2>& hashSlots() {
  static std::counting_semaphore<2> slots(2);
  return slots;
}

class HashSlot {
 public:
  HashSlot() { hashSlots().acquire(); }
  ~HashSlot() { hashSlots().release(); }
  HashSlot(const HashSlot&) = delete;
  HashSlot& operator=(const HashSlot&) = delete;
};

// The hash an unknown name is checked against, so that it costs what a known
// one costs. Its password is random and never kept.
const std::string& dummyHash() {
  static const std::string hash = hashPassword(randomToken(16));
  return hash;
}

bool isControl(unsigned char c) {
  return c < 0x20 || c == 0x7f;
}

// A hash text libsodium can check: bounded, printable and of a known form.
bool isUsableHash(const std::string& hash) {
  if (hash.empty() || hash.size() >= crypto_pwhash_STRBYTES) return false;
  if (std::any_of(hash.begin(), hash.end(),
                  [](char c) { return isControl(static_cast<unsigned char>(c)); })) {
    return false;
  }
  if (::crypto_pwhash_str_needs_rehash(hash.c_str(), crypto_pwhash_OPSLIMIT_INTERACTIVE,
                                       crypto_pwhash_MEMLIMIT_INTERACTIVE) < 0) {
    return false;
  }
  // Every login checks against it: a cost past what the service can bear
  // (a slip of the hand turning 64 MiB into gigabytes) counts as damage.
  const auto number = [&](const char* key) -> unsigned long long {
    const auto at = hash.find(key);
    return at == std::string::npos ? ~0ULL : std::strtoull(hash.c_str() + at + std::strlen(key), nullptr, 10);
  };
  return number("$m=") <= kLargestHashKiB && number(",t=") <= kLargestHashPasses;
}

char lowerAscii(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool sameIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                            [](char x, char y) { return lowerAscii(x) == lowerAscii(y); });
}

std::vector<std::string_view> splitTabs(std::string_view line) {
  std::vector<std::string_view> fields;
  for (;;) {
    const auto tab = line.find('\t');
    fields.push_back(line.substr(0, tab));
    if (tab == std::string_view::npos) return fields;
    line.remove_prefix(tab + 1);
  }
}

// The users of a file's text, or the reason of its first damaged line.
bool parseUsers(std::string_view text, const std::string& path, std::vector<User>& users,
                std::string& error) {
  users.clear();
  int lineNumber = 0;
  while (!text.empty()) {
    ++lineNumber;
    const auto end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty() || line.front() == '#') continue;

    auto fail = [&](const std::string& why) {
      error = path + " line " + std::to_string(lineNumber) + ": " + why;
      users.clear();
      return false;
    };
    const auto fields = splitTabs(line);
    if (fields.size() != 4) return fail("not name TAB role TAB language TAB hash");
    User user;
    user.name = std::string(fields[0]);
    if (!isValidUserName(user.name)) return fail("not a user name");
    for (const User& other : users) {
      if (sameIgnoringCase(other.name, user.name)) return fail("a second user named " + user.name);
    }
    const auto role = roleOfName(fields[1]);
    if (!role) return fail("unknown role");
    user.role = *role;
    if (!isUserLanguage(fields[2])) return fail("unknown language");
    user.language = std::string(fields[2]);
    user.passwordHash = std::string(fields[3]);
    if (!isUsableHash(user.passwordHash)) return fail("the password hash is damaged");
    users.push_back(std::move(user));
  }
  return true;
}

}  // namespace

const char* roleName(Role role) {
  switch (role) {
    case Role::kViewer:
      return "viewer";
    case Role::kOperator:
      return "operator";
    case Role::kAdmin:
      return "admin";
  }
  return "viewer";
}

std::optional<Role> roleOfName(std::string_view name) {
  for (Role role : {Role::kViewer, Role::kOperator, Role::kAdmin}) {
    if (name == roleName(role)) return role;
  }
  return std::nullopt;
}

bool isUserLanguage(std::string_view language) {
  return language == "en" || language == "zh";
}

bool isValidUserName(std::string_view name) {
  if (name.empty() || name.size() > kUserNameLimit || name == "." || name == "..") return false;
  return std::all_of(name.begin(), name.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
           c == '-' || c == '_' || c == '@';
  });
}

std::string passwordProblem(std::string_view password) {
  if (password.empty()) return "the password is empty";
  if (password.size() > kPasswordLimit)
    return "the password is longer than " + std::to_string(kPasswordLimit) + " bytes";
  if (std::any_of(password.begin(), password.end(),
                  [](char c) { return isControl(static_cast<unsigned char>(c)); })) {
    return "the password holds a control character";
  }
  return {};
}

std::string hashPassword(std::string_view password) {
  ensureSodium();
  char out[crypto_pwhash_STRBYTES];
  HashSlot slot;
  if (::crypto_pwhash_str(out, password.data(), password.size(), crypto_pwhash_OPSLIMIT_INTERACTIVE,
                          crypto_pwhash_MEMLIMIT_INTERACTIVE) != 0) {
    return {};
  }
  return out;
}

bool verifyPassword(const std::string& hash, std::string_view password) {
  ensureSodium();
  if (hash.empty() || hash.size() >= crypto_pwhash_STRBYTES) return false;
  // libsodium reads a buffer of its full size.
  char text[crypto_pwhash_STRBYTES] = {};
  std::copy(hash.begin(), hash.end(), text);
  HashSlot slot;
  return ::crypto_pwhash_str_verify(text, password.data(), password.size()) == 0;
}

UserStore::UserStore(std::string path)
    : path_(std::move(path)), damaged_("the user file has not been read") {}

std::string UserStore::pathIn(const std::string& startDir) {
  if (startDir.empty()) return kUserFileName;
  return startDir.back() == '/' ? startDir + kUserFileName : startDir + "/" + kUserFileName;
}

UserStore::Stamp UserStore::stampOf(const std::string& path) {
  struct stat info {};
  Stamp stamp;
  if (::stat(path.c_str(), &info) != 0) return stamp;
  stamp.exists = true;
  stamp.device = info.st_dev;
  stamp.inode = info.st_ino;
  stamp.size = static_cast<std::uint64_t>(info.st_size);
  stamp.modifiedNs = static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
  return stamp;
}

bool UserStore::load(std::string* error) {
  dummyHash();  // made now, so that the first unknown name costs no more than the rest
  std::lock_guard lock(mutex_);
  loaded_ = true;
  return loadLocked(error);
}

bool UserStore::loadLocked(std::string* error) const {
  stamp_ = stampOf(path_);
  std::string bytes;
  const FileError read = readFileChecked(path_, kSettingsFileLimit, bytes);
  std::vector<User> users;
  std::string why;
  if (read == FileError::kNotFound) {
    // No file: no users yet.
  } else if (read != FileError::kNone) {
    why = fileErrorText(1, read, path_, kSettingsFileLimit);
  } else {
    parseUsers(bytes, path_, users, why);
  }
  users_ = std::move(users);
  damaged_ = why;
  if (error) *error = why;
  return why.empty();
}

void UserStore::refreshLocked() const {
  if (loaded_ && !(stampOf(path_) == stamp_)) loadLocked(nullptr);
}

std::string UserStore::problem() const {
  std::lock_guard lock(mutex_);
  refreshLocked();
  return damaged_;
}

std::vector<User> UserStore::users() const {
  std::lock_guard lock(mutex_);
  refreshLocked();
  return users_;
}

std::optional<User> UserStore::find(std::string_view name) const {
  std::lock_guard lock(mutex_);
  refreshLocked();
  for (const User& user : users_) {
    if (user.name == name) return user;
  }
  return std::nullopt;
}

bool UserStore::empty() const {
  std::lock_guard lock(mutex_);
  refreshLocked();
  return users_.empty();
}

bool UserStore::saveLocked(std::string* error) const {
  std::string text = kHeader;
  for (const User& user : users_) {
    text += user.name + '\t' + roleName(user.role) + '\t' + user.language + '\t' + user.passwordHash + '\n';
  }
  // The file holds password hashes: only its owner may read it. A new file is
  // made 0600 before the save fills it (the save keeps the mode it finds), an
  // existing one loses any bits for others first.
  bool made = false;
  struct stat info {};
  if (::stat(path_.c_str(), &info) == 0) {
    if ((info.st_mode & 077) != 0 && ::chmod(path_.c_str(), info.st_mode & 0600) != 0) {
      if (error) *error = fileErrorText(1, FileError::kNoPermission, path_);
      return false;
    }
  } else if (errno == ENOENT) {
    const int fd = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd >= 0) {
      made = true;
      const bool modeSet = ::fchmod(fd, 0600) == 0;  // whatever the umask took away
      ::close(fd);
      if (!modeSet) {
        ::unlink(path_.c_str());
        if (error) *error = fileErrorText(1, FileError::kFailed, path_);
        return false;
      }
    }
  }
  const FileError saved = saveFile(path_, text);
  if (saved != FileError::kNone) {
    if (made) ::unlink(path_.c_str());
    if (error) *error = fileErrorText(1, saved, path_);
    return false;
  }
  // A dangling link as the file's name was saved through with the usual mode.
  if (!made && ::stat(path_.c_str(), &info) == 0 && (info.st_mode & 077) != 0)
    ::chmod(path_.c_str(), info.st_mode & 0600);
  stamp_ = stampOf(path_);
  return true;
}

bool UserStore::put(const std::string& name, Role role, std::string_view password,
                    const std::string& language, std::string* error) {
  auto fail = [&](std::string why) {
    if (error) *error = std::move(why);
    return false;
  };
  if (!isValidUserName(name))
    return fail("not a user name (letters, digits, . - _ @; at most " + std::to_string(kUserNameLimit) + ")");
  if (!isUserLanguage(language)) return fail("the language must be en or zh");
  if (std::string why = passwordProblem(password); !why.empty()) return fail(why);
  // Whether the file may take the user, asked before the slow hash and again after it.
  auto refusal = [&]() -> std::string {
    refreshLocked();
    if (!damaged_.empty()) return damaged_;
    for (const User& other : users_) {
      if (other.name != name && sameIgnoringCase(other.name, name))
        return "a user named " + other.name + " exists";
    }
    return {};
  };
  {
    std::lock_guard lock(mutex_);
    if (std::string why = refusal(); !why.empty()) return fail(why);
  }
  User user{name, role, language, hashPassword(password)};
  if (user.passwordHash.empty()) return fail("the password could not be hashed (out of memory)");

  std::lock_guard lock(mutex_);
  if (std::string why = refusal(); !why.empty()) return fail(why);
  const std::vector<User> before = users_;
  auto same = std::find_if(users_.begin(), users_.end(), [&](const User& u) { return u.name == name; });
  if (same != users_.end()) {
    *same = std::move(user);
  } else {
    users_.push_back(std::move(user));
  }
  if (!saveLocked(error)) {
    users_ = before;
    return false;
  }
  return true;
}

bool UserStore::changeUser(std::string_view name,
                           const std::function<void(std::vector<User>::iterator)>& change,
                           std::string* error) {
  std::lock_guard lock(mutex_);
  refreshLocked();
  if (!damaged_.empty()) {
    if (error) *error = damaged_;
    return false;
  }
  auto user = std::find_if(users_.begin(), users_.end(), [&](const User& u) { return u.name == name; });
  if (user == users_.end()) {
    if (error) *error = "no such user";
    return false;
  }
  const std::vector<User> before = users_;
  change(user);
  if (!saveLocked(error)) {
    users_ = before;
    return false;
  }
  return true;
}

bool UserStore::setLanguage(std::string_view name, const std::string& language, std::string* error) {
  if (!isUserLanguage(language)) {
    if (error) *error = "the language must be en or zh";
    return false;
  }
  return changeUser(
      name, [&](std::vector<User>::iterator user) { user->language = language; }, error);
}

bool UserStore::remove(std::string_view name, std::string* error) {
  return changeUser(
      name, [&](std::vector<User>::iterator user) { users_.erase(user); }, error);
}

std::optional<User> UserStore::authenticate(std::string_view name, std::string_view password) const {
  // Whether a password is acceptable does not depend on the name: refusing
  // it at once tells nothing about which names exist.
  if (!passwordProblem(password).empty()) return std::nullopt;
  std::optional<User> user;
  {
    std::lock_guard lock(mutex_);
    refreshLocked();
    if (!damaged_.empty()) return std::nullopt;
    for (const User& u : users_) {
      if (u.name == name) user = u;
    }
  }
  // The slow check runs outside the lock, so that logins do not queue behind each other.
  if (!user) {
    verifyPassword(dummyHash(), password);
    return std::nullopt;
  }
  if (!verifyPassword(user->passwordHash, password)) return std::nullopt;
  return user;
}

}  // namespace qxr
