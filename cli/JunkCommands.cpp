#include "cli/JunkCommands.h"
// STUB: to be implemented
namespace headroom::cli {
int scanCommand(const std::vector<std::string>&, std::ostream&, std::ostream& err) { err << "scan: not implemented\n"; return 2; }
int cleanCommand(const std::vector<std::string>&, std::ostream&, std::ostream& err) { err << "clean: not implemented\n"; return 2; }
int releaseCommand(const std::vector<std::string>&, std::ostream&, std::ostream& err) { err << "release: not implemented\n"; return 2; }
} // namespace headroom::cli
