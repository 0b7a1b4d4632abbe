// RawServer over the system's sockets: BSD sockets, or Winsock.
#include "platform/local_server.h"

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
using Socket = SOCKET;
using Length = int;
namespace {
constexpr int NoSignal = 0;
constexpr int BothWays = SD_BOTH;
void closeSocket(std::intptr_t socket) { ::closesocket(static_cast<Socket>(socket)); }
bool isSocket(Socket socket) { return socket != INVALID_SOCKET; }
struct SocketsStarted {
    SocketsStarted()
    {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
    }
};
} // namespace
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
using Socket = int;
using Length = socklen_t;
namespace {
constexpr int NoSignal = MSG_NOSIGNAL;
constexpr int BothWays = SHUT_RDWR;
void closeSocket(std::intptr_t socket) { ::close(static_cast<Socket>(socket)); }
bool isSocket(Socket socket) { return socket >= 0; }
struct SocketsStarted {};
} // namespace
#endif

#include <cstdint>

namespace platform {

RawServer::RawServer(std::string bytes) : answer(std::move(bytes))
{
    [[maybe_unused]] static const SocketsStarted started;
    const Socket made = ::socket(AF_INET, SOCK_STREAM, 0);
    listener = static_cast<std::intptr_t>(made);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    Length length = sizeof local;
    if (!isSocket(made) || ::bind(made, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
        ::listen(made, 16) != 0 || ::getsockname(made, reinterpret_cast<sockaddr*>(&local), &length) != 0)
        return;
    port = ntohs(local.sin_port);
    thread = std::thread([this, made] {
        while (!stopping) {
            const Socket connection = ::accept(made, nullptr, nullptr);
            if (!isSocket(connection) || stopping) {
                if (isSocket(connection))
                    closeSocket(static_cast<std::intptr_t>(connection));
                continue;
            }
            ++accepted;
            if (answer.empty()) {
                held.push_back(static_cast<std::intptr_t>(connection));
                continue;
            }
            char request[4096];
            (void)::recv(connection, request, sizeof request, 0);
            (void)::send(connection, answer.data(), static_cast<int>(answer.size()), NoSignal);
            closeSocket(static_cast<std::intptr_t>(connection));
        }
    });
}

RawServer::~RawServer()
{
    stopping = true;
    ::shutdown(static_cast<Socket>(listener), BothWays);
    // A connection of our own wakes the accept up.
    const Socket wake = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    local.sin_port = htons(static_cast<std::uint16_t>(port));
    ::connect(wake, reinterpret_cast<sockaddr*>(&local), sizeof local);
    closeSocket(static_cast<std::intptr_t>(wake));
    if (thread.joinable())
        thread.join();
    for (const std::intptr_t connection : held)
        closeSocket(connection);
    closeSocket(listener);
}

std::string RawServer::address() const
{
    return "http://127.0.0.1:" + std::to_string(port);
}

} // namespace platform
