// Detached threads with a live count, so that the program can let them end before it exits.
#include "platform/threads.h"

#include "platform/http_client.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace platform {
namespace {

std::atomic<bool> shutdownFlag{false};

struct LiveThreads {
    std::mutex mutex;
    std::condition_variable ended;
    int count = 0;
};

// Never destroyed: detached threads may still report their end while static objects are torn down.
LiveThreads& liveThreads()
{
    static auto* live = new LiveThreads;
    return *live;
}

} // namespace

void startDetached(std::function<void()> procedure)
{
    LiveThreads& live = liveThreads();
    {
        std::lock_guard lock(live.mutex);
        ++live.count;
    }
    std::thread([procedure = std::move(procedure), &live] {
        procedure();
        std::lock_guard lock(live.mutex);
        --live.count;
        live.ended.notify_all();
    }).detach();
}

void startDetached(void (*procedure)(int), int argument)
{
    startDetached([procedure, argument] { procedure(argument); });
}

int runningDetachedThreads()
{
    LiveThreads& live = liveThreads();
    std::lock_guard lock(live.mutex);
    return live.count;
}

bool waitForDetachedThreads(std::chrono::milliseconds limit)
{
    LiveThreads& live = liveThreads();
    std::unique_lock lock(live.mutex);
    return live.ended.wait_for(lock, limit, [&] { return live.count == 0; });
}

void runInParallel(std::size_t count, const std::function<void(std::size_t)>& work)
{
    const std::size_t threads = std::min<std::size_t>(std::max(1u, std::thread::hardware_concurrency()), 8);
    std::atomic<std::size_t> next{0};
    const auto drain = [&] {
        for (std::size_t i = next++; i < count; i = next++)
            work(i);
    };
    std::vector<std::thread> helpers;
    for (std::size_t t = 1; t < threads && t < count; ++t)
        helpers.emplace_back(drain);
    drain();
    for (std::thread& helper : helpers)
        helper.join();
}

void initProcess()
{
#if defined(__GLIBC__)
    mallopt(M_MMAP_THRESHOLD, 64 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 256 * 1024 * 1024);
#endif
    initNetworking();
}

void requestShutdown()
{
    shutdownFlag.store(true);
}

bool shutdownRequested()
{
    return shutdownFlag.load(std::memory_order_relaxed);
}

} // namespace platform
