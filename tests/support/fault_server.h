// FaultServer: a local server that also answers the routes that fail in the ways the client must survive.
#pragma once

#include "platform/local_server.h"

#include <atomic>
#include <cstddef>
#include <string>
#include <thread>
#include <vector>

namespace testing_support {

/// A LocalServer with fault routes besides its pages:
///   /fault/404, /fault/500 (with an HTML body), /fault/429, /fault/503, /fault/drip (one byte every 200 ms),
///   /fault/reset (the connection closes in mid-body), /fault/huge (a body of `setHugeBodyBytes`, 33 MiB at first),
///   /fault/file-redirect (to a file:// address), /fault/redirect-loop, /fault/silent (accepts and never answers).
class FaultServer : public platform::LocalServer {
public:
    FaultServer();
    void setHugeBodyBytes(std::size_t bytes);

private:
    void addRoutes();
    std::atomic<std::size_t> hugeBytes{33u * 1024 * 1024};
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
    std::vector<int> held; // the unanswered connections
    int listener = -1;
    int port = 0;
    std::atomic<bool> stopping{false};
    std::thread thread;
};

} // namespace testing_support
