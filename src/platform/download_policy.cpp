// Downloads by a policy: retries with a growing pause, and pauses between downloads.
#include "platform/download_policy.h"

#include "platform/threads.h"

#include <algorithm>
#include <random>
#include <thread>

namespace platform {

bool pauseUnlessShutdown(std::chrono::milliseconds duration)
{
    using Clock = std::chrono::steady_clock;
    const auto until = Clock::now() + duration;
    // Short steps, so that Ctrl-C is not held up.
    while (Clock::now() < until) {
        if (shutdownRequested())
            return false;
        std::this_thread::sleep_for(std::min<Clock::duration>(std::chrono::milliseconds(50), until - Clock::now()));
    }
    return !shutdownRequested();
}

PolicyDownloader::PolicyDownloader(DownloadPolicy policy, std::function<DownloadResult(const Text&)> fetcher)
    : policy(policy), fetcher(fetcher ? std::move(fetcher) : [](const Text& address) { return platform::fetch(address); })
{
}

std::chrono::milliseconds PolicyDownloader::nextPause()
{
    if (!policy.randomDelay)
        return policy.delay;
    // As wget's --random-wait: not a metronome that a site could tell from its logs.
    thread_local std::mt19937 random{std::random_device{}()};
    std::uniform_real_distribution<double> factor(0.5, 1.5);
    return std::chrono::milliseconds(static_cast<long long>(static_cast<double>(policy.delay.count()) * factor(random)));
}

DownloadResult PolicyDownloader::fetch(const Text& address)
{
    if (started.fetch_add(1) > 0 && policy.delay.count() > 0 && !pauseUnlessShutdown(nextPause())) {
        DownloadResult cancelled;
        cancelled.failure = DownloadFailure::Cancelled;
        cancelled.reason = "cancelled";
        return cancelled;
    }
    DownloadResult result = fetcher(address);
    for (int attempt = 1; attempt <= policy.retries && result.isTransient(); ++attempt) {
        if (!pauseUnlessShutdown(std::chrono::milliseconds(500) * (1 << std::min(attempt - 1, 5))))
            break;
        result = fetcher(address);
    }
    received += static_cast<long long>(result.body.size());
    if (onFailure && result.failure != DownloadFailure::None && result.failure != DownloadFailure::Cancelled)
        onFailure(address, result);
    if (onDownload)
        onDownload();
    return result;
}

} // namespace platform
