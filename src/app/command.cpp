// The commands that run without a window.
#include "app/command.h"

#include <cstdio>

int runCommand(const platform::CommandLine& line, const SiteEnvironment&)
{
    std::fprintf(stderr, "varnholt: unknown command '%s'\n", line.arguments.front().c_str());
    return 2;
}
