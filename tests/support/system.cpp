// The tests' system helpers that are the same everywhere.
#include "support/system.h"

#include <cstdlib>
#include <filesystem>

namespace testing_support {

ScopedVariable::ScopedVariable(std::string variable, const std::optional<std::string>& value) : name(std::move(variable))
{
    if (const char* old = std::getenv(name.c_str()))
        before = old;
    setVariable(name, value);
}

ScopedVariable::~ScopedVariable()
{
    setVariable(name, before);
}

void makeNonRegularFile(const std::string& path)
{
    if (!makeFifo(path))
        std::filesystem::create_directory(std::filesystem::u8path(path));
}

} // namespace testing_support
