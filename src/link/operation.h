#pragma once
// What a page's operation works with, handed in by whoever runs it (the
// window, qxrtool, a test) rather than reached through the link: the
// session's settings and texts, the host that asks, tells and beeps, the
// exchanges on the line, and the port under them.
#include "base/host.h"
#include "base/session.h"
#include "link/link.h"

namespace qxr {

class TThreadComm;

struct OperationParts {
  Session& session;
  LinkHost& host;
  Link& link;
  TThreadComm& port;
};

// The parts a link was made with, for a caller that keeps them together.
inline OperationParts operationParts(Link& link) { return {link.session(), link.host(), link, link.port()}; }

}  // namespace qxr
