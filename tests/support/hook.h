#pragma once
// A hook set for the length of a scope: the one before it is back when the
// scope ends, also when a failed check leaves the test early.
//
//   qxr::test::ScopedHook answers(setMessageDialogHook, [](QDialog&) { return 1; });
#include <type_traits>
#include <utility>

namespace qxr::test {

template <typename Hook>
class ScopedHook {
 public:
  using Setter = Hook (*)(Hook);
  ScopedHook(Setter set, std::type_identity_t<Hook> hook) : set_(set), previous_(set(std::move(hook))) {}
  ~ScopedHook() { set_(std::move(previous_)); }
  ScopedHook(const ScopedHook&) = delete;
  ScopedHook& operator=(const ScopedHook&) = delete;

 private:
  Setter set_;
  Hook previous_;
};

}  // namespace qxr::test
