// The fault routes.
#include "support/fault_server.h"

#ifndef _WIN32
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

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

#ifndef _WIN32
RawServer::RawServer(std::string bytes) : answer(std::move(bytes))
{
    listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof local;
    if (::bind(listener, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 || ::listen(listener, 16) != 0 ||
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&local), &length) != 0)
        return;
    port = ntohs(local.sin_port);
    thread = std::thread([this] {
        while (!stopping) {
            const int connection = ::accept(listener, nullptr, nullptr);
            if (connection < 0 || stopping) {
                if (connection >= 0)
                    ::close(connection);
                continue;
            }
            ++accepted;
            if (answer.empty()) {
                held.push_back(connection);
                continue;
            }
            char request[4096];
            [[maybe_unused]] const ssize_t read = ::recv(connection, request, sizeof request, 0);
            [[maybe_unused]] const ssize_t sent = ::send(connection, answer.data(), answer.size(), MSG_NOSIGNAL);
            ::close(connection);
        }
    });
}

RawServer::~RawServer()
{
    stopping = true;
    ::shutdown(listener, SHUT_RDWR);
    // A connection of our own wakes the accept up.
    const int wake = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    local.sin_port = htons(static_cast<std::uint16_t>(port));
    ::connect(wake, reinterpret_cast<sockaddr*>(&local), sizeof local);
    ::close(wake);
    if (thread.joinable())
        thread.join();
    for (const int connection : held)
        ::close(connection);
    ::close(listener);
}

std::string RawServer::address() const
{
    return "http://127.0.0.1:" + std::to_string(port);
}
#endif

} // namespace testing_support
