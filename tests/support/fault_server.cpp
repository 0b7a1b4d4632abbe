// The fault routes.
#include "support/fault_server.h"

#include <algorithm>
#include <cstdint>
#include <chrono>
#include <string>

namespace testing_support {

FaultServer::FaultServer()
{
    addRoutes();
}

void FaultServer::setHugeBodyBytes(std::size_t bytes)
{
    hugeBytes = bytes;
    setStreamedRoute("/fault/huge", {{}, bytes, [bytes](std::size_t offset, std::string& piece) {
                                         piece.assign(std::min<std::size_t>(65536, bytes - offset), 'x');
                                         return true;
                                     }});
}

void FaultServer::addRoutes()
{
    for (const int status : {404, 429, 500, 503})
        setStatus("/fault/" + std::to_string(status), status);
    setRedirect("/fault/file-redirect", "file:///etc/passwd");
    setRedirect("/fault/redirect-loop", "/fault/redirect-loop");
    setStreamedRoute("/fault/drip", {{}, 0, [this](std::size_t, std::string& piece) {
                                         piece = "x";
                                         return waitUnlessStopping(std::chrono::milliseconds(200));
                                     }});
    // 1000 bytes of the 100000 announced, then the connection closes.
    setStreamedRoute("/fault/reset", {{}, 100000, [](std::size_t offset, std::string& piece) {
                                          piece.assign(1000, 'x');
                                          return offset == 0;
                                      }});
    setStreamedRoute("/fault/silent", {std::chrono::minutes(10), 0, {}});
    setHugeBodyBytes(hugeBytes);
}

} // namespace testing_support
