// Running a command in the tests, with what it prints captured.
#pragma once

#include "platform/command_line.h"
#include "site/site_accessor.h"

#include <string>

namespace testing_support {

/// What a command printed and its exit code.
struct CommandOutput {
    int code = 0;
    std::string out;
    std::string err;
};

/// Runs the command of `line` against `environment`, capturing its standard output and error.
CommandOutput runCapturing(const platform::CommandLine& line, const SiteEnvironment& environment);

} // namespace testing_support
