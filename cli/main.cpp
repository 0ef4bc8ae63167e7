#include "cli/Cli.h"

#include <iostream>

// No QCoreApplication: the string tables are read through QTranslator and
// the compiled-in resources, which need no application object, and
// constructing one would also switch the C library to the user's locale.
int main(int argc, char** argv)
{
    const int status = headroom::cli::run(argc, argv, std::cout, std::cerr);
    std::cout.flush();
    if (!std::cout) {
        std::cerr << "headroom-cli: could not write the output\n";
        return status == 0 ? 1 : status;
    }
    return status;
}
