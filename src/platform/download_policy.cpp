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

PolicyDownloader::PolicyDownloader(DownloadPolicy policy, Fetcher fetcher)
    : policy(policy),
      fetcher(fetcher ? std::move(fetcher)
                      : [](const Text& address, const DownloadLimits& limits) { return platform::fetch(address, limits); })
{
}

namespace {

// "https://host:port" of an address: what a silence is remembered for.
std::string siteOf(const Text& address)
{
    const std::size_t scheme = address.find("://");
    if (scheme == Text::npos)
        return address;
    return address.substr(0, address.find('/', scheme + 3));
}

} // namespace

std::optional<DownloadResult> PolicyDownloader::rememberedSilence(const Text& address)
{
    DownloadResult result;
    if (policy.offline) {
        result.failure = DownloadFailure::Offline;
        result.reason = "offline: the site is not asked";
        return result;
    }
    const std::lock_guard guard(silenceLock);
    const auto found = silent.find(siteOf(address));
    // In milliseconds, which hold the largest memory a policy may ask for.
    if (found == silent.end() || std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::steady_clock::now() - found->second.since) >= policy.silenceRemembered)
        return std::nullopt;
    result.failure = DownloadFailure::Unreachable;
    result.reason = found->second.reason + "; not asked again";
    return result;
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

DownloadResult PolicyDownloader::fetch(const Text& address, const DownloadLimits& limits)
{
    using Clock = std::chrono::steady_clock;
    // A site that just did not answer is not asked again for a while, and one that is offline never: a failure
    // that was told once already, so it is not told again.
    if (std::optional<DownloadResult> known = rememberedSilence(address)) {
        if (onDownload)
            onDownload();
        return *known;
    }
    if (started.fetch_add(1) > 0 && policy.delay.count() > 0 && !pauseUnlessShutdown(nextPause())) {
        DownloadResult cancelled;
        cancelled.failure = DownloadFailure::Cancelled;
        cancelled.reason = "cancelled";
        return cancelled;
    }
    const auto until = Clock::now() + limits.totalTimeout;
    // Each attempt gets what is left of the budget, its connect time-out included.
    const auto attempt = [&] {
        DownloadLimits left = limits;
        left.totalTimeout = std::max(std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()),
                                     std::chrono::milliseconds(1));
        left.connectTimeout = std::min(left.connectTimeout, left.totalTimeout);
        return fetcher(address, left);
    };
    DownloadResult result = attempt();
    for (int retry = 1; retry <= policy.retries && result.isTransient(); ++retry) {
        const auto pause = std::chrono::milliseconds(500) * (1 << std::min(retry - 1, 5));
        // A retry that could not run a moment before the budget ends is not started.
        if (Clock::now() + pause + std::chrono::milliseconds(100) >= until || !pauseUnlessShutdown(pause))
            break;
        result = attempt();
    }
    if (result.siteSilent()) {
        const std::lock_guard guard(silenceLock);
        silent[siteOf(address)] = {Clock::now(), result.reason};
    }
    received += static_cast<long long>(result.body.size());
    if (onFailure && result.failure != DownloadFailure::None && result.failure != DownloadFailure::Cancelled)
        onFailure(address, result);
    if (onDownload)
        onDownload();
    return result;
}

} // namespace platform
