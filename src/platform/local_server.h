// LocalServer: an HTTP server on 127.0.0.1 serving given pages, with fault routes for tests.
#pragma once

#include "platform/text.h"

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>

namespace platform {

/// Serves pages from memory on 127.0.0.1 on a free port, on threads of its own, until destroyed.
/// Besides the pages it answers these fault routes:
///   /fault/404, /fault/500 (with an HTML body), /fault/drip (one byte every 200 ms), /fault/reset (the connection
///   closes in mid-body), /fault/huge (a body of `hugeBodyBytes`), /fault/file-redirect (to a file:// address),
///   /fault/redirect-loop, /fault/silent (accepts and never answers), /fault/429, /fault/503.
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
    void setHugeBodyBytes(std::size_t bytes);
    /// Whether pages may be sent compressed to a client that accepts it (the default). Compressing costs the server
    /// milliseconds per page, which benchmarks of the client leave out.
    void setCompression(bool enabled);

    /// Requests received for `path`, and for all paths.
    int requestCount(const std::string& path) const;
    int totalRequests() const;
    void resetCounts();

private:
    void start();
    struct Impl;
    std::unique_ptr<Impl> impl;
};

} // namespace platform
