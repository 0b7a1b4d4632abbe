// What the tests ask of the system that is not the same on Linux and Windows: environment variables, special files,
// and the command-line tools that check the program's output independently of it.
#pragma once

#include <cstdio>
#include <optional>
#include <string>

namespace testing_support {

/// Sets the environment variable `name` to `value` for the process; nullopt removes it.
void setVariable(const std::string& name, const std::optional<std::string>& value);

/// Sets `name` for its lifetime, then gives it back the value it had.
class ScopedVariable {
public:
    ScopedVariable(std::string name, const std::optional<std::string>& value);
    ~ScopedVariable();
    ScopedVariable(const ScopedVariable&) = delete;
    ScopedVariable& operator=(const ScopedVariable&) = delete;

private:
    std::string name;
    std::optional<std::string> before;
};

/// What a shell command printed on its standard output, and whether it succeeded; nullopt where the system has no
/// shell with the tools the tests use (unzip, iconv, java), as under Windows.
struct ToolOutput {
    bool succeeded = false;
    std::string out;
};
std::optional<ToolOutput> shell(const std::string& command);

/// A stream for writing whose every write fails, by the time it is flushed at the latest.
std::FILE* unwritableStream();

/// Makes a FIFO at `path`; false where the system has none.
bool makeFifo(const std::string& path);
/// Makes `path` a symbolic link to `target`; false where the system makes none (Windows asks for a privilege).
bool linkTo(const std::string& target, const std::string& path);
/// Makes `path` a symbolic link to a device that reads without end; false where the system has none.
bool linkToEndlessDevice(const std::string& path);
/// What a reader must neither wait on nor replace: a FIFO at `path`, or a folder where the system has no FIFOs.
void makeNonRegularFile(const std::string& path);

} // namespace testing_support
