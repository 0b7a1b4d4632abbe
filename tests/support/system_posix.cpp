// The tests' system helpers on Linux.
#include "support/system.h"

#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace testing_support {

void setVariable(const std::string& name, const std::optional<std::string>& value)
{
    if (value)
        ::setenv(name.c_str(), value->c_str(), 1);
    else
        ::unsetenv(name.c_str());
}

std::optional<ToolOutput> shell(const std::string& command)
{
    ToolOutput result;
    std::FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        return result;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        result.out.append(buffer, n);
    result.succeeded = ::pclose(pipe) == 0;
    return result;
}

std::FILE* unwritableStream()
{
    return std::fopen("/dev/full", "w");
}

bool makeFifo(const std::string& path)
{
    return ::mkfifo(path.c_str(), 0600) == 0;
}

bool linkTo(const std::string& target, const std::string& path)
{
    return ::symlink(target.c_str(), path.c_str()) == 0;
}

bool linkToEndlessDevice(const std::string& path)
{
    return linkTo("/dev/zero", path);
}

} // namespace testing_support
