// LocalServer: an HTTP server on 127.0.0.1 serving given pages: the sample site of --demo, and tests.
#pragma once

#include "platform/text.h"

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace platform {

/// An answer sent piece by piece.
struct StreamedAnswer {
    std::chrono::milliseconds holdBack{0}; ///< wait this long before answering at all
    std::size_t length = 0;                ///< the announced body length; 0 sends the body in chunks
    /// Appends the piece at byte `offset` of the body to `piece`; false ends the answer, closing the connection if
    /// less than `length` was sent.
    std::function<bool(std::size_t offset, std::string& piece)> next;
};

/// Serves pages from memory on 127.0.0.1 on a free port, on threads of its own, until destroyed.
class LocalServer {
public:
    LocalServer();
    /// Serves over https with the certificate and key in these PEM files.
    LocalServer(const std::string& certificateFile, const std::string& keyFile);
    ~LocalServer();
    LocalServer(const LocalServer&) = delete;
    LocalServer& operator=(const LocalServer&) = delete;

    /// Whether the server is listening.
    bool isRunning() const;
    /// "http://127.0.0.1:PORT" (https for a TLS server), without a trailing slash.
    std::string baseAddress() const;
    int port() const;

    /// Serves `body` at `path` (which starts with '/'). Replaces an earlier page, status or redirect at that path.
    void setPage(const std::string& path, ByteSet body);
    void removePage(const std::string& path);
    /// Answers `path` with a redirect (302) to `target`.
    void setRedirect(const std::string& path, const std::string& target);
    /// Answers the next `count` requests for `path` with `status`, then serves it as before.
    void setFailures(const std::string& path, int count, int status);
    /// Answers `path` with `status` and an HTML body.
    void setStatus(const std::string& path, int status);
    /// Waits this long before answering each page request.
    void setResponseDelay(std::chrono::milliseconds delay);
    /// Answers `path` with `answer`, before any page, status or redirect there.
    void setStreamedRoute(const std::string& path, StreamedAnswer answer);
    /// Waits up to `duration`; false as soon as the server is stopping. For answers that arrive slowly.
    bool waitUnlessStopping(std::chrono::milliseconds duration) const;
    /// Whether pages may be sent compressed to a client that accepts it (the default). Compressing costs the server
    /// milliseconds per page, which benchmarks of the client leave out.
    void setCompression(bool enabled);

    /// The User-Agent header of the last request received.
    std::string lastUserAgent() const;
    /// Requests received for `path`, and for all paths.
    int requestCount(const std::string& path) const;
    int totalRequests() const;
    void resetCounts();

private:
    void start();
    struct Impl;
    std::unique_ptr<Impl> impl;
};

/// Answers every connection on 127.0.0.1 with the same raw bytes, then closes it: for answers no HTTP library would
/// send, such as two different Content-Length headers. With no answer, it is a site that never answers (a broken
/// route, a filtered address): every connection is accepted and held, unanswered, until the server ends.
class RawServer {
public:
    explicit RawServer(std::string answer);
    ~RawServer();
    RawServer(const RawServer&) = delete;
    RawServer& operator=(const RawServer&) = delete;
    std::string address() const;
    /// The connections accepted so far.
    int connections() const { return accepted.load(); }

private:
    std::string answer;
    std::atomic<int> accepted{0};
    std::vector<std::intptr_t> held; // the unanswered connections
    std::intptr_t listener = -1;
    int port = 0;
    std::atomic<bool> stopping{false};
    std::thread thread;
};

} // namespace platform
