// DownloadPolicy: how a series of downloads treats the site: retries, back-off and pauses between downloads.
#pragma once

#include "platform/http_client.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>

namespace platform {

/// The rules for a series of downloads.
struct DownloadPolicy {
    int retries = 2;                       ///< further attempts after a failure that may pass (`isTransient`)
    std::chrono::milliseconds delay{0};    ///< pause before every download but the first
    bool randomDelay = false;              ///< each pause 0.5 to 1.5 times `delay`, at random
    /// How long a site (scheme, host and port) that did not answer at all (`siteSilent`) is not asked again: each
    /// download from it meanwhile fails at once instead of waiting for its own time-out.
    std::chrono::milliseconds silenceRemembered{30'000};
    bool offline = false;                  ///< ask nothing: every download fails at once as Offline
};

/// Downloads by a policy and counts what arrived. One object serves a whole command, from any thread; pauses end
/// early when `requestShutdown` is called.
class PolicyDownloader {
public:
    /// `fetcher` makes one attempt within the limits it is given; by default platform::fetch.
    using Fetcher = std::function<DownloadResult(const Text&, const DownloadLimits&)>;
    explicit PolicyDownloader(DownloadPolicy policy, Fetcher fetcher = {});

    /// One download with its retries, 0.5 s, 1 s, 2 s ... and at most 16 s apart, all within `limits.totalTimeout`.
    DownloadResult fetch(const Text& address, const DownloadLimits& limits = {});
    /// The body of `fetch`, or an empty ByteSet.
    ByteSet operator()(const Text& address) { return fetch(address).body; }

    long long bytes() const { return received.load(); }
    /// Called after every download, from the downloading thread.
    void setOnDownload(std::function<void()> callback) { onDownload = std::move(callback); }
    /// Called for every download that failed after its retries, with the address and the result.
    void setOnFailure(std::function<void(const Text&, const DownloadResult&)> callback)
    {
        onFailure = std::move(callback);
    }

private:
    std::chrono::milliseconds nextPause();

    /// The failure given while the site of `address` is remembered as silent; nothing when it is to be asked.
    std::optional<DownloadResult> rememberedSilence(const Text& address);

    DownloadPolicy policy;
    Fetcher fetcher;
    std::function<void()> onDownload;
    std::function<void(const Text&, const DownloadResult&)> onFailure;
    std::atomic<long long> received{0};
    std::atomic<int> started{0};
    std::mutex silenceLock;
    struct Silence {
        std::chrono::steady_clock::time_point since;
        std::string reason;
    };
    std::map<std::string, Silence> silent; // by "https://host:port": the sites that did not answer, when and why
};

/// Waits up to `duration` in short steps. Returns false when `requestShutdown` was called meanwhile.
bool pauseUnlessShutdown(std::chrono::milliseconds duration);

} // namespace platform
