// The tests' system helpers on Windows.
#include "support/system.h"

#include <cstdlib>

namespace testing_support {

void setVariable(const std::string& name, const std::optional<std::string>& value)
{
    // Through the C runtime, so that getenv sees it too; the runtime passes it on to the process's environment.
    // An empty value removes the variable.
    ::_putenv_s(name.c_str(), value ? value->c_str() : "");
}

std::optional<ToolOutput> shell(const std::string&)
{
    return std::nullopt;
}

std::FILE* unwritableStream()
{
    // Opened for reading only: every write to it fails.
    return std::fopen("NUL", "r");
}

bool makeFifo(const std::string&)
{
    return false;
}

bool linkTo(const std::string&, const std::string&)
{
    return false;
}

bool linkToEndlessDevice(const std::string&)
{
    return false;
}

} // namespace testing_support
