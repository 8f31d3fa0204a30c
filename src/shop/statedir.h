#pragma once
// Where the per-user state of the program lives: the journal and the recent
// files, in $XDG_STATE_HOME/qxrtrans (default ~/.local/state/qxrtrans).
#include <string>

namespace qxr {

// The environment variable that names a journal shared by the shop; it wins
// over the machine file's [shop] journal and the per-user journal.
inline constexpr const char* kJournalEnvironment = "QXR_JOURNAL";

struct StateEnvironment {
  std::string home;           // $HOME
  std::string xdgStateHome;   // $XDG_STATE_HOME, empty when unset
  std::string journalPath;    // $QXR_JOURNAL, empty when unset
};
StateEnvironment stateEnvironment();

// $XDG_STATE_HOME/qxrtrans/ when that variable holds an absolute path, else
// $HOME/.local/state/qxrtrans/ (with a trailing separator).
std::string userStateDirectory(const StateEnvironment& env);

// The journal of a run: $QXR_JOURNAL, else the machine file's [shop] journal
// (relative to the start directory when relative), else journal.db in the
// user's state directory.
std::string journalPathFor(const StateEnvironment& env, const std::string& shopJournal, const std::string& startDir);

// Makes `dir` and its missing parents (mode 0700 for the ones made); false
// when it is not a directory afterwards.
bool makeDirectories(const std::string& dir);

}  // namespace qxr
