// zorvo-build: turns a copy of the generic launcher into an application's launcher.
#include <iostream>
#include <string>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#endif

#include "cli.h"

int main(int argc, char** argv) {
#ifdef _WIN32
    // The same bytes on every system: line feeds, never CR LF.
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    std::vector<std::string> args(argv + 1, argv + argc);
    return zorvo::buildtool::runZorvoBuild(args, std::cout, std::cerr);
}
