#pragma once

#include <ostream>
#include <span>
#include <string>

namespace headroom::cli {

// `headroom-cli scan [--items] [--json] HOME` and
// `clean [--keep PATH]... HOME ROW...`, with their words already parsed.
// Each returns the exit status.

// Prints every junk row below `home`. A `home` that cannot be opened for
// another reason than not being there is said on `err` (exit status 1) and
// nothing is printed; a row that could not be measured whole is left out
// and named on `err` (exit status 1). With `items`, each row is followed by
// its items and carries its allocated size.
int scanCommand(const std::string& home, bool json, bool items, std::ostream& out, std::ostream& err);

// Removes the named rows below `home`, then prints every row as scan does.
// An unknown row is a usage error, found before anything is removed; a
// `home` that cannot be opened is said as by scan, and nothing is removed;
// a removal that stopped short for want of descriptors or memory is named
// on `err` (exit status 1). Each path of `keep` names an item of a row to
// clean (as scan --items prints it), which the clean leaves; one that names
// none is a usage error, found before anything is removed.
int cleanCommand(const std::string& home, std::span<const std::string> rows, std::span<const std::string> keep,
                 std::ostream& out, std::ostream& err);

} // namespace headroom::cli
