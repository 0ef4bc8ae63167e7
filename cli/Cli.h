#pragma once

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace headroom::cli {

// headroom-cli without the process around it: `args` are the words after the
// program's name. Writes results to `out` and diagnostics to `err` and
// returns the exit status (0 success, 1 when a PATH or HOME could not be
// reached or a figure or a clean could not be completed, 2 usage error, or
// what the release command returns). A usage error writes exactly one line
// to `err`.
int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int run(int argc, char** argv, std::ostream& out, std::ostream& err);

// Writes the one line of a usage error to `err`:
//   headroom-cli: MESSAGE (try 'headroom-cli --help')
// and returns 2, the exit status of a usage error.
int usageError(std::ostream& err, std::string_view message);

// Writes the one line that says `path` could not be reached, and returns
// 1, the exit status of a command that could not do all it was asked:
//   headroom-cli: cannot WHAT 'PATH': REASON
// with PATH escaped like a TSV field and REASON the C library's text for
// `error`.
int cannotReach(std::ostream& err, std::string_view what, std::string_view path, int error);

// Writes the one line that says a figure or a clean could not be
// completed (`error`: EMFILE, ENFILE or ENOMEM for want of descriptors or
// memory, or why an entry could not be removed):
//   headroom-cli: WHAT: REASON
// and returns 1, the exit status for it.
int incompleteError(std::ostream& err, std::string_view what, int error);

// The same line with a reason of its own rather than an errno's:
//   headroom-cli: WHAT: WHY
// and returns 1.
int failureLine(std::ostream& err, std::string_view what, std::string_view why);

// The text that --help prints.
std::string usage();

// A path as one TSV field: backslash, tab, newline and carriage return
// become \\, \t, \n and \r; every other byte is kept as is.
std::string escapeTsvField(std::string_view bytes);

} // namespace headroom::cli
