// The console over POSIX signals or the Windows console API.
#include "platform/console.h"

#include "platform/threads.h"

#include <csignal>
#include <cstdlib>
#include <string_view>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace platform {

bool standardOutputIsTerminal()
{
#ifdef _WIN32
    return _isatty(_fileno(stdout)) != 0;
#else
    return isatty(STDOUT_FILENO) != 0;
#endif
}

bool standardErrorIsTerminal()
{
#ifdef _WIN32
    return _isatty(_fileno(stderr)) != 0;
#else
    return isatty(STDERR_FILENO) != 0;
#endif
}

bool terminalRedraws()
{
    const char* term = std::getenv("TERM");
    return !(term && std::string_view(term) == "dumb");
}

bool coloursAllowed()
{
    // As https://no-color.org asks: any non-empty value.
    const char* noColour = std::getenv("NO_COLOR");
    return !(noColour && *noColour) && terminalRedraws();
}

namespace {
volatile std::sig_atomic_t stoppingSignal = 0;
} // namespace

#ifdef _WIN32
namespace {
BOOL WINAPI onConsoleEvent(DWORD)
{
    requestShutdown();
    return TRUE;
}
} // namespace

void stopOnInterrupt()
{
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

int interruptedExitCode()
{
    return 130;
}

void ensureStandardStreams()
{
    // A window program has no console: run from one, its commands write there; output sent to a file or a pipe
    // stays where it goes. Bytes go out as they are (UTF-8, LF), as on Linux.
    const auto usable = [](DWORD which) {
        const HANDLE handle = GetStdHandle(which);
        return handle != nullptr && handle != INVALID_HANDLE_VALUE && GetFileType(handle) != FILE_TYPE_UNKNOWN;
    };
    if ((!usable(STD_OUTPUT_HANDLE) || !usable(STD_ERROR_HANDLE)) && AttachConsole(ATTACH_PARENT_PROCESS)) {
        if (!usable(STD_OUTPUT_HANDLE))
            (void)std::freopen("CONOUT$", "w", stdout);
        if (!usable(STD_ERROR_HANDLE))
            (void)std::freopen("CONOUT$", "w", stderr);
    }
    SetConsoleOutputCP(CP_UTF8);
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
}
#else
namespace {
void onSignal(int number)
{
    stoppingSignal = number;
    requestShutdown();
}
} // namespace

int interruptedExitCode()
{
    return stoppingSignal == SIGTERM ? 143 : 130;
}

void ensureStandardStreams()
{
    // A closed output takes the full device: what is printed to it fails, as it would have, and the command says
    // so with its exit code instead of reporting success.
    for (int descriptor = 0; descriptor <= 2; ++descriptor)
        if (::fcntl(descriptor, F_GETFD) == -1 &&
            (descriptor == 0 || ::open("/dev/full", O_WRONLY) != descriptor))
            ::open("/dev/null", descriptor == 0 ? O_RDONLY : O_WRONLY);
}

void stopOnInterrupt()
{
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}
#endif

} // namespace platform
