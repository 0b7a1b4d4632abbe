// The console over POSIX signals or the Windows console API.
#include "platform/console.h"

#include "platform/threads.h"

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <csignal>
#include <unistd.h>
#endif

namespace platform {

bool standardErrorIsTerminal()
{
#ifdef _WIN32
    return _isatty(_fileno(stderr)) != 0;
#else
    return isatty(STDERR_FILENO) != 0;
#endif
}

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
#else
namespace {
void onSignal(int)
{
    requestShutdown();
}
} // namespace

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
