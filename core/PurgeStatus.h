#pragma once

// The exit statuses of the purge helper that say why memory was not
// released, beside 0 (released) and its other failures (any other status,
// 128 + the signal when killed). Header-only: the helper, which links
// nothing of ours, exits with them, and the reports read them.

namespace headroom::purge {

// The helper itself could not be started (purgeRAM's answer, not a status).
inline constexpr int kNotStarted = -1;
// Not run as root, and no pkexec to ask for root with.
inline constexpr int kNoPkexec = 125;
// pkexec's own: the password dialog was dismissed.
inline constexpr int kDismissed = 126;
// pkexec's own: not authorized (a wrong password, a policy that refuses, no
// polkit agent to ask with).
inline constexpr int kNotAuthorized = 127;

} // namespace headroom::purge
