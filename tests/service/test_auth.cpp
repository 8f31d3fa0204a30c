// The shop service's users and sessions: the user file as written and as
// damaged by hand, passwords checked against their hashes, tokens, session
// ends, and the slowing of failed logins. Hashing is slow on purpose (about
// 0.1 s and 64 MiB each): the cases share one hash and make few more.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "service/sessions.h"
#include "service/users.h"
#include "support/tempdir.h"

namespace qxr {
namespace {

constexpr const char* kPassword = "correct horse";

// One hash of kPassword, made once for the whole program.
const std::string& knownHash() {
  static const std::string hash = hashPassword(kPassword);
  return hash;
}

std::string userLine(const std::string& name, const std::string& role, const std::string& language,
                     const std::string& hash) {
  return name + "\t" + role + "\t" + language + "\t" + hash + "\n";
}

unsigned modeOf(const std::string& path) {
  struct stat info {};
  EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
  return info.st_mode & 07777;
}

TEST(Roles, NamesOrderAndLanguages) {
  const std::vector<std::pair<Role, const char*>> roles = {
      {Role::kViewer, "viewer"}, {Role::kOperator, "operator"}, {Role::kAdmin, "admin"}};
  for (const auto& [role, name] : roles) {
    EXPECT_STREQ(roleName(role), name);
    EXPECT_EQ(roleOfName(name), role);
  }
  // Each role may do what those below it may, and no more.
  EXPECT_TRUE(roleAllows(Role::kAdmin, Role::kOperator) && roleAllows(Role::kOperator, Role::kViewer));
  EXPECT_FALSE(roleAllows(Role::kViewer, Role::kOperator) || roleAllows(Role::kOperator, Role::kAdmin));
  for (const char* other : {"", "Admin", "root", "viewer ", "operators"}) EXPECT_FALSE(roleOfName(other));
  for (const char* language : {"en", "zh"}) EXPECT_TRUE(isUserLanguage(language));
  for (const char* language : {"", "EN", "de", "zh-TW", "en\n"}) EXPECT_FALSE(isUserLanguage(language));
}

TEST(UserNames, WhatMayBeANameAndAPassword) {
  const std::vector<std::pair<std::string, bool>> names = {
      {"anna", true}, {"A.b-c_d@shop", true}, {"0", true}, {std::string(32, 'x'), true},
      {"", false}, {std::string(33, 'x'), false}, {"an na", false}, {"a/b", false}, {".", false},
      {"..", false}, {"...", true}, {"a\tb", false}, {std::string("a\0b", 3), false}, {"anna\n", false},
      {"\xc3\xa4nna", false}, {"a:b", false}, {"%2e", false},
  };
  for (const auto& [name, valid] : names) EXPECT_EQ(isValidUserName(name), valid) << name;

  const std::vector<std::pair<std::string, const char*>> passwords = {
      {"x", nullptr}, {"pass word \xe5\xaf\x86\xe7\xa2\xbc", nullptr},
      {std::string(kPasswordLimit, 'p'), nullptr},
      {"", "empty"}, {std::string(kPasswordLimit + 1, 'p'), "longer"}, {std::string("a\0b", 3), "control"},
      {"line\n", "control"}, {"tab\there", "control"}, {"del\x7f", "control"},
  };
  for (const auto& [password, problem] : passwords) {
    const std::string why = passwordProblem(password);
    if (!problem) {
      EXPECT_EQ(why, "") << password;
    } else {
      EXPECT_NE(why.find(problem), std::string::npos) << why;
    }
  }
}

TEST(UserFile, ReadsWhatItWritesAndAMissingFileIsNoUsers) {
  test::TempDir dir;
  const std::string path = UserStore::pathIn(dir.dir());
  EXPECT_EQ(path, dir.file("Users.txt"));
  UserStore store(path);
  EXPECT_FALSE(store.put("anna", Role::kAdmin, kPassword, "en"));  // not loaded yet: refused
  EXPECT_FALSE(dir.exists("Users.txt"));
  std::string error = "stale";
  ASSERT_TRUE(store.load(&error));
  EXPECT_EQ(error, "");
  EXPECT_TRUE(store.empty());
  EXPECT_EQ(store.problem(), "");

  // By hand: CR LF, blank lines and comments are taken.
  dir.write("Users.txt", "# users\r\n\r\n" "anna\toperator\tzh\t" + knownHash() + "\r\n# gone\n" +
                             userLine("bob.k@x", "viewer", "en", knownHash()));
  ASSERT_TRUE(store.load(&error)) << error;
  const std::vector<User> users = store.users();
  ASSERT_EQ(users.size(), 2u);
  EXPECT_EQ(users[0].name, "anna");
  EXPECT_EQ(users[0].role, Role::kOperator);
  EXPECT_EQ(users[0].language, "zh");
  EXPECT_EQ(users[0].passwordHash, knownHash());
  EXPECT_EQ(users[1].name, "bob.k@x");
  EXPECT_EQ(store.find("bob.k@x")->role, Role::kViewer);
  EXPECT_FALSE(store.find("Anna"));
}

TEST(UserFile, ADamagedLineIsNamedAndTheFileNeverWritten) {
  struct Case {
    const char* label;
    std::string text;
    int line;
    const char* reason;
  };
  const std::string good = userLine("anna", "admin", "en", knownHash());
  const std::string bob = userLine("bob", "viewer", "en", knownHash());
  const std::string badHash = knownHash().substr(0, knownHash().size() - 1) + "\x01";
  std::string hugeHash = knownHash();
  hugeHash.replace(hugeHash.find("$m=") + 3, 0, "99");  // 64 MiB becomes over 6 TiB
  const std::vector<Case> cases = {
      {"three fields", "# users\nanna\tadmin\ten\n", 2, "not name TAB role TAB language TAB hash"},
      {"five fields", good + "bob\tadmin\ten\t" + knownHash() + "\textra\n", 2, "not name TAB"},
      {"spaces for tabs", "anna admin en " + knownHash() + "\n", 1, "not name TAB"},
      {"bad name", "# x\n\n" + userLine("a b", "admin", "en", knownHash()), 3, "not a user name"},
      {"empty name", userLine("", "admin", "en", knownHash()), 1, "not a user name"},
      {"second anna", good + bob + userLine("ANNA", "viewer", "en", knownHash()), 3, "a second user named ANNA"},
      {"unknown role", good + userLine("bob", "root", "en", knownHash()), 2, "unknown role"},
      {"unknown language", good + userLine("bob", "viewer", "fr", knownHash()), 2, "unknown language"},
      {"plain password", userLine("anna", "admin", "en", "hunter2"), 1, "the password hash is damaged"},
      {"cut hash", userLine("anna", "admin", "en", knownHash().substr(0, 20)), 1,
       "the password hash is damaged"},
      {"control byte in hash", userLine("anna", "admin", "en", badHash), 1, "the password hash is damaged"},
      {"empty hash", userLine("anna", "admin", "en", ""), 1, "the password hash is damaged"},
      {"costly hash", userLine("anna", "admin", "en", hugeHash), 1, "the password hash is damaged"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    test::TempDir dir;
    dir.write("Users.txt", c.text);
    UserStore store(UserStore::pathIn(dir.dir()));
    std::string error;
    EXPECT_FALSE(store.load(&error));
    EXPECT_NE(error.find("line " + std::to_string(c.line) + ": " + c.reason), std::string::npos) << error;
    EXPECT_NE(error.find("Users.txt"), std::string::npos) << error;
    EXPECT_EQ(store.problem(), error);
    EXPECT_TRUE(store.users().empty());
    // Refused before any hash is made, and the file stays as it was.
    EXPECT_FALSE(store.authenticate("anna", kPassword));
    EXPECT_FALSE(store.put("carl", Role::kViewer, kPassword, "en", &error));
    EXPECT_FALSE(store.remove("anna"));
    EXPECT_FALSE(store.setLanguage("anna", "zh"));
    EXPECT_EQ(dir.read("Users.txt"), c.text);
  }
  // A file that cannot be read at all is refused the same way.
  test::TempDir dir;
  ASSERT_EQ(::mkdir(dir.file("Users.txt").c_str(), 0700), 0);
  UserStore store(UserStore::pathIn(dir.dir()));
  EXPECT_FALSE(store.load());
  EXPECT_NE(store.problem(), "");
}

TEST(UserStore, PutReplaceRemoveAndLanguageAreSavedPrivately) {
  test::TempDir dir;
  UserStore store(UserStore::pathIn(dir.dir()));
  ASSERT_TRUE(store.load());
  std::string error;
  // Refused before hashing: bad name, language or password.
  const std::vector<std::tuple<std::string, std::string, std::string, const char*>> refused = {
      {"a/b", kPassword, "en", "not a user name"},
      {"anna", kPassword, "fr", "language"},
      {"anna", "", "en", "empty"},
  };
  for (const auto& [name, password, language, reason] : refused) {
    EXPECT_FALSE(store.put(name, Role::kViewer, password, language, &error));
    EXPECT_NE(error.find(reason), std::string::npos) << error;
  }
  EXPECT_FALSE(dir.exists("Users.txt"));

  ASSERT_TRUE(store.put("anna", Role::kOperator, kPassword, "en", &error)) << error;
  EXPECT_EQ(modeOf(dir.file("Users.txt")), 0600u);
  ASSERT_TRUE(store.put("bob", Role::kViewer, "bob's", "zh", &error)) << error;
  EXPECT_FALSE(store.put("Anna", Role::kViewer, kPassword, "en", &error));
  EXPECT_NE(error.find("a user named anna exists"), std::string::npos) << error;
  // A file opened to others by hand is closed again by the next save.
  ASSERT_EQ(::chmod(dir.file("Users.txt").c_str(), 0644), 0);
  ASSERT_TRUE(store.put("anna", Role::kAdmin, "new one", "en", &error)) << error;
  EXPECT_EQ(modeOf(dir.file("Users.txt")), 0600u);
  ASSERT_TRUE(store.setLanguage("anna", "zh", &error)) << error;
  EXPECT_FALSE(store.setLanguage("anna", "de", &error));
  EXPECT_FALSE(store.setLanguage("nobody", "en", &error));
  EXPECT_FALSE(store.remove("nobody", &error));
  EXPECT_EQ(error, "no such user");
  ASSERT_TRUE(store.remove("bob", &error)) << error;

  const std::string text = dir.read("Users.txt");
  const std::string header = "# qxrd users: name TAB role TAB language TAB hash\n";
  EXPECT_EQ(text.rfind(header + "anna\tadmin\tzh\t$argon2id$", 0), 0u) << text;
  UserStore again(UserStore::pathIn(dir.dir()));
  ASSERT_TRUE(again.load(&error)) << error;
  ASSERT_EQ(again.users().size(), 1u);
  const User anna = again.users()[0];
  EXPECT_EQ(anna.role, Role::kAdmin);
  EXPECT_EQ(anna.language, "zh");
  EXPECT_TRUE(verifyPassword(anna.passwordHash, "new one"));

  // Another process's change is seen, and never lost by this store's next save.
  dir.write("Users.txt", text + userLine("carl", "operator", "en", knownHash()));
  EXPECT_EQ(store.find("carl")->role, Role::kOperator);
  ASSERT_TRUE(store.remove("anna", &error)) << error;
  EXPECT_EQ(dir.read("Users.txt"), header + userLine("carl", "operator", "en", knownHash()));
  // ... and a change that damages the file stops the store until it is mended.
  dir.write("Users.txt", "carl\tboss\ten\t" + knownHash() + "\n");
  EXPECT_FALSE(store.find("carl"));
  EXPECT_NE(store.problem().find("line 1: unknown role"), std::string::npos);
  EXPECT_FALSE(store.remove("carl"));
  dir.write("Users.txt", userLine("carl", "viewer", "en", knownHash()));
  EXPECT_EQ(store.find("carl")->role, Role::kViewer);
}

TEST(UserStore, ANameLinkedToNoFileIsSavedPrivately) {
  test::TempDir dir;
  ::mkdir(dir.file("etc").c_str(), 0700);
  ASSERT_EQ(::symlink("etc/users", dir.file("Users.txt").c_str()), 0);
  UserStore store(UserStore::pathIn(dir.dir()));
  ASSERT_TRUE(store.load());
  std::string error;
  ASSERT_TRUE(store.put("anna", Role::kAdmin, kPassword, "en", &error)) << error;
  EXPECT_EQ(modeOf(dir.file("etc/users")), 0600u);
}

TEST(UserStore, AuthenticateTakesOnlyTheRightPassword) {
  test::TempDir dir;
  dir.write("Users.txt", userLine("anna", "operator", "zh", knownHash()));
  UserStore store(UserStore::pathIn(dir.dir()));
  ASSERT_TRUE(store.load());
  // Name, password, taken; a password too long or empty is not even tried.
  const std::vector<std::tuple<std::string, std::string, bool>> attempts = {
      {"anna", kPassword, true}, {"anna", "correct horse ", false}, {"anne", kPassword, false},
      {"anna", std::string(kPasswordLimit + 1, 'p'), false}, {"anna", "", false}};
  for (const auto& [name, password, taken] : attempts) {
    const auto user = store.authenticate(name, password);
    ASSERT_EQ(user.has_value(), taken) << name << " " << password;
    if (user) {
      EXPECT_EQ(std::tie(user->role, user->language), std::make_tuple(Role::kOperator, "zh"));
    }
  }
  EXPECT_FALSE(verifyPassword("$argon2id$v=19$damaged", kPassword));
  EXPECT_FALSE(verifyPassword("", kPassword));
  EXPECT_FALSE(verifyPassword(std::string(200, '$'), kPassword));
}

TEST(Tokens, RandomLowercaseHexComparedWhole) {
  std::set<std::string> seen;
  for (int i = 0; i < 200; ++i) {
    const std::string token = randomToken();
    ASSERT_EQ(token.size(), 64u);
    EXPECT_EQ(token.find_first_not_of("0123456789abcdef"), std::string::npos) << token;
    seen.insert(token);
  }
  EXPECT_EQ(seen.size(), 200u);
  EXPECT_EQ(randomToken(16).size(), 32u);
  const std::string t = randomToken();
  std::string lastDiffers = t;
  lastDiffers.back() = lastDiffers.back() == '0' ? '1' : '0';
  const std::vector<std::tuple<std::string, std::string, bool>> pairs = {
      {t, t, true}, {t, lastDiffers, false}, {t, t.substr(0, 63), false}, {t, t + "0", false},
      {"", "", false}, {"", t, false}, {"abc", "ABC", false},
  };
  for (const auto& [a, b, equal] : pairs) EXPECT_EQ(tokensEqual(a, b), equal) << a << " / " << b;
}

struct FakeClock {
  std::int64_t ms = 1'000'000;
  std::function<std::int64_t()> fn() {
    return [this] { return ms; };
  }
};

User someone(const std::string& name, Role role = Role::kOperator) { return User{name, role, "en", {}}; }

TEST(Sessions, EndByIdleTimeLifetimeLogoutAndUser) {
  FakeClock clock;
  SessionStore store({/*idleMs=*/1000, /*lifetimeMs=*/5000, /*perUser=*/3}, clock.fn());
  const WebSession a = store.open(someone("anna", Role::kAdmin));
  EXPECT_NE(a.token, a.csrf);
  EXPECT_EQ(a.createdMs, clock.ms);
  auto seen = store.check(a.token);
  ASSERT_TRUE(seen);
  EXPECT_EQ(seen->user, "anna");
  EXPECT_EQ(seen->role, Role::kAdmin);
  EXPECT_EQ(seen->csrf, a.csrf);
  for (const std::string& bad : {std::string(), a.token.substr(1), a.csrf, randomToken()}) {
    EXPECT_FALSE(store.check(bad)) << bad;
  }

  // Used every 900 ms it lives until its lifetime, not a moment past.
  const std::int64_t start = clock.ms;
  while (clock.ms + 900 < start + 5000) {
    clock.ms += 900;
    ASSERT_TRUE(store.check(a.token)) << clock.ms - start;
  }
  clock.ms = start + 5000;
  EXPECT_FALSE(store.check(a.token));
  EXPECT_EQ(store.size(), 0u);

  // Unused for the idle time it ends.
  const WebSession b = store.open(someone("anna"));
  clock.ms += 999;
  EXPECT_TRUE(store.check(b.token));
  clock.ms += 1000;
  EXPECT_FALSE(store.check(b.token));

  // Logout, a user's end and a user's language.
  const WebSession c1 = store.open(someone("carl"));
  const WebSession c2 = store.open(someone("carl"));
  const WebSession d = store.open(someone("dora"));
  store.close(c1.token);
  EXPECT_FALSE(store.check(c1.token));
  EXPECT_TRUE(store.check(c2.token));
  store.setLanguage("carl", "zh");
  EXPECT_EQ(store.check(c2.token)->language, "zh");
  EXPECT_EQ(store.check(d.token)->language, "en");
  store.closeUser("carl");
  EXPECT_FALSE(store.check(c2.token));
  EXPECT_TRUE(store.check(d.token));
}

TEST(Sessions, PerUserCapEndsTheOldestAndExpiredOnesAreSwept) {
  FakeClock clock;
  SessionStore store({1000, 5000, 3}, clock.fn());
  std::vector<WebSession> anna;
  for (int i = 0; i < 5; ++i) {
    anna.push_back(store.open(someone("anna")));
    clock.ms += 1;
  }
  const WebSession bob = store.open(someone("bob"));
  const std::vector<bool> alive = {false, false, true, true, true};
  for (std::size_t i = 0; i < anna.size(); ++i) {
    EXPECT_EQ(store.check(anna[i].token).has_value(), alive[i]) << i;
  }
  EXPECT_TRUE(store.check(bob.token));
  EXPECT_EQ(store.size(), 4u);

  for (int i = 0; i < 100; ++i) store.open(someone("user" + std::to_string(i)));
  EXPECT_EQ(store.size(), 104u);
  clock.ms += 1000;
  store.open(someone("late"));
  EXPECT_EQ(store.size(), 1u);
}

TEST(LoginThrottle, WaitsDoubleByNameAndByAddressAndAreForgotten) {
  const std::vector<int> waits = {0, 0, 0, 1, 2, 4, 8, 16, 32, 60, 60, 60};
  // By name from ever new addresses, and by address for ever new names.
  for (const bool byName : {true, false}) {
    SCOPED_TRACE(byName ? "by name" : "by address");
    FakeClock clock;
    LoginThrottle throttle(clock.fn());
    for (std::size_t n = 0; n < waits.size(); ++n) {
      const std::string other = "x" + std::to_string(n);
      const std::string user = byName ? "anna" : other, address = byName ? other : "10.0.0.9";
      // Asked with a name or an address that never failed.
      EXPECT_EQ(throttle.waitSeconds(byName ? user : "fresh", byName ? "10.1.1.1" : address), waits[n]) << n;
      throttle.failed(user, address);
      clock.ms += 1;
    }
    EXPECT_EQ(throttle.waitSeconds("other", "10.2.2.2"), 0);
  }

  FakeClock clock;
  LoginThrottle throttle(clock.fn());
  for (int i = 0; i < 5; ++i) throttle.failed("anna", "10.0.0.1");
  EXPECT_EQ(throttle.waitSeconds("anna", "10.0.0.2"), 4);  // 5 failures: 4 s after the last
  clock.ms += 2500;
  EXPECT_EQ(throttle.waitSeconds("anna", "10.0.0.2"), 2);  // rounded up
  // A success forgets the name's failures, not the address's.
  throttle.succeeded("anna");
  EXPECT_EQ(throttle.waitSeconds("anna", "10.0.0.2"), 0);
  EXPECT_EQ(throttle.waitSeconds("bob", "10.0.0.1"), 2);
  // Fifteen minutes after the last failure, all is forgotten.
  clock.ms += LoginThrottle::kForgetAfterMs - 2501;
  EXPECT_EQ(throttle.waitSeconds("carl", "10.0.0.1"), 0);  // the wait is over, the count is not
  throttle.failed("carl", "10.0.0.1");
  EXPECT_EQ(throttle.waitSeconds("dora", "10.0.0.1"), 8);
  clock.ms += LoginThrottle::kForgetAfterMs;
  throttle.failed("carl", "10.0.0.1");
  EXPECT_EQ(throttle.waitSeconds("dora", "10.0.0.1"), 0);
}

}  // namespace
}  // namespace qxr
