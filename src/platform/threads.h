// Threads: detached workers and the process-wide shutdown request.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>

namespace platform {

/// Runs `procedure` on a new thread; the caller keeps no handle and never waits for it.
void startDetached(std::function<void()> procedure);

/// Runs `procedure(argument)` on a new thread, as above.
void startDetached(void (*procedure)(int), int argument);

/// Runs `work(0)` ... `work(count - 1)` spread over the processor's cores, the calling thread among them, and returns
/// when all have run. `work` must be safe to call from several threads at once.
void runInParallel(std::size_t count, const std::function<void(std::size_t)>& work);

/// How many threads started by `startDetached` are still running.
int runningDetachedThreads();

/// Waits until no detached thread runs, at most `limit`. Returns whether all had ended.
bool waitForDetachedThreads(std::chrono::milliseconds limit);

/// Process-wide set-up, once at start before any other thread: networking, and a heap that keeps large blocks for
/// reuse (pages of megabytes are copied several times while they are cleaned; handing each copy back to the
/// system and faulting it in again cost more than the cleaning itself).
void initProcess();

/// Asks every download in flight to stop and every worker to end early. Cannot be taken back.
/// Safe to call from a signal handler.
void requestShutdown();

/// Whether `requestShutdown` was called.
bool shutdownRequested();

} // namespace platform
