// The console: terminal detection and stopping on Ctrl-C.
#pragma once

namespace platform {

/// Whether standard error is a terminal (so a live progress line can be redrawn in place).
bool standardErrorIsTerminal();

/// From now on Ctrl-C (SIGINT) and SIGTERM request shutdown (see requestShutdown) instead of ending the process.
void stopOnInterrupt();

} // namespace platform
