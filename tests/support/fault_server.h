// FaultServer: a local server that also answers the routes that fail in the ways the client must survive.
#pragma once

#include "platform/local_server.h"

#include <atomic>
#include <cstddef>
#include <string>

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

using platform::RawServer;

} // namespace testing_support
