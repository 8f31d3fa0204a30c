#pragma once
// Starts libsodium once in the process, from whichever thread comes first.
// Every function of the service that hashes, verifies or draws random bytes
// calls it before; a process where libsodium cannot start stops at once
// rather than hand out guessable tokens.
namespace qxr {

void ensureSodium();

}  // namespace qxr
