// Running a command in the tests.
#include "command_capture.h"

#include "app/command.h"
#include "support/test_support.h"

#include <cstdio>

namespace testing_support {

CommandOutput runCapturing(const platform::CommandLine& line, const SiteEnvironment& environment)
{
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    CommandOutput output;
    output.code = runCommand(line, environment, out, err);
    output.out = readAllAndClose(out);
    output.err = readAllAndClose(err);
    return output;
}

} // namespace testing_support
