// The console: terminal detection and stopping on Ctrl-C.
#pragma once

namespace platform {

/// Whether standard error is a terminal (so a live progress line can be redrawn in place).
bool standardErrorIsTerminal();

/// Whether standard output is a terminal.
bool standardOutputIsTerminal();

/// Whether the terminal may be sent colours: NO_COLOR is not set (or empty) and TERM is not "dumb".
bool coloursAllowed();

/// Whether the terminal can redraw a line in place: TERM is not "dumb".
bool terminalRedraws();

/// From now on Ctrl-C (SIGINT) and SIGTERM request shutdown (see requestShutdown) instead of ending the process.
void stopOnInterrupt();

/// The exit code that says how the process was stopped: 143 after SIGTERM, else 130 (Ctrl-C).
int interruptedExitCode();

/// Makes sure standard input, output and error are open, so that no file or socket the program opens takes their
/// place: a closed input reads the null device, a closed output writes to the full device (every write to it fails,
/// so a command whose output was closed ends with the output error). Call first thing in `main`.
void ensureStandardStreams();

} // namespace platform
