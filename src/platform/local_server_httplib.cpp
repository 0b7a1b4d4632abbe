// LocalServer over cpp-httplib.
#include "platform/local_server.h"

#include <httplib.h>

#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

namespace platform {
namespace {

constexpr const char* ErrorPage = "<html><head><title>Error</title></head><body><h1>Internal Server Error</h1>"
                                  "<p>The server could not complete the request.</p></body></html>";

} // namespace

struct LocalServer::Impl {
    explicit Impl(std::unique_ptr<httplib::Server> created) : serverObject(std::move(created)), server(*serverObject) {}
    std::unique_ptr<httplib::Server> serverObject;
    httplib::Server& server;
    bool tls = false;
    std::thread thread;
    int port = -1;

    mutable std::mutex mutex;
    mutable std::condition_variable stopping;
    bool isStopping = false;
    std::map<std::string, ByteSet> pages;
    std::map<std::string, int> statuses;
    std::map<std::string, std::string> redirects;
    std::map<std::string, std::pair<int, int>> failures; // path -> (remaining, status)
    std::map<std::string, int> counts;
    int total = 0;
    std::string userAgent;
    std::map<std::string, StreamedAnswer> streamed;
    std::chrono::milliseconds delay{0};
    bool compression = true;

    // Waits `duration`; returns false when the server is stopping. A timed wait wakes up late by a tenth of a
    // millisecond, on a loaded machine by more than one, which a download benchmark would count against the client:
    // the last stretch is waited out in yields.
    bool pause(std::chrono::milliseconds duration) const
    {
        using Clock = std::chrono::steady_clock;
        constexpr auto Precise = std::chrono::milliseconds(2);
        const auto deadline = Clock::now() + duration;
        std::unique_lock lock(mutex);
        if (stopping.wait_until(lock, deadline - std::min<Clock::duration>(duration, Precise),
                                [this] { return isStopping; }))
            return false;
        lock.unlock();
        while (Clock::now() < deadline)
            std::this_thread::yield();
        lock.lock();
        return !isStopping;
    }

    void count(const std::string& path)
    {
        std::lock_guard lock(mutex);
        ++counts[path];
        ++total;
    }

    void routes()
    {
        server.Get(R"(/.*)", [this](const httplib::Request& request, httplib::Response& response) {
            {
                std::lock_guard lock(mutex);
                userAgent = request.get_header_value("User-Agent");
            }
            serve(request.path, response);
        });
    }

    // Sends `answer` as its pieces come; true when `path` has such a route.
    bool stream(const std::string& path, httplib::Response& response)
    {
        StreamedAnswer answer;
        {
            std::lock_guard lock(mutex);
            const auto found = streamed.find(path);
            if (found == streamed.end())
                return false;
            answer = found->second;
        }
        if (answer.holdBack.count() > 0 && !pause(answer.holdBack))
            return true;
        const auto next = answer.next;
        const auto send = [next](std::size_t offset, httplib::DataSink& sink) {
            std::string piece;
            return next && next(offset, piece) && sink.write(piece.data(), piece.size());
        };
        if (answer.length > 0)
            response.set_content_provider(answer.length, "text/html",
                                          [send](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                                              return send(offset, sink);
                                          });
        else
            response.set_chunked_content_provider("text/html", send);
        return true;
    }

    void serve(const std::string& path, httplib::Response& response)
    {
        count(path);
        std::chrono::milliseconds wait{0};
        {
            std::lock_guard lock(mutex);
            wait = delay;
        }
        if ((wait.count() > 0 && !pause(wait)) || stream(path, response))
            return;
        std::lock_guard lock(mutex);
        if (const auto redirect = redirects.find(path); redirect != redirects.end()) {
            response.set_redirect(redirect->second);
            return;
        }
        if (auto failure = failures.find(path); failure != failures.end() && failure->second.first > 0) {
            --failure->second.first;
            response.status = failure->second.second;
            response.set_content(ErrorPage, "text/html");
            return;
        }
        if (const auto status = statuses.find(path); status != statuses.end()) {
            response.status = status->second;
            response.set_content(ErrorPage, "text/html");
            return;
        }
        const auto page = pages.find(path);
        if (page == pages.end()) {
            response.status = 404;
            response.set_content("<html><body>Not Found</body></html>", "text/html");
            return;
        }
        // The server compresses text types only.
        response.set_content(page->second, compression ? "text/html; charset=gbk" : "application/octet-stream");
    }
};

LocalServer::LocalServer() : impl(std::make_unique<Impl>(std::make_unique<httplib::Server>()))
{
    start();
}

#ifdef CPPHTTPLIB_OPENSSL_SUPPORT
LocalServer::LocalServer(const std::string& certificateFile, const std::string& keyFile)
    : impl(std::make_unique<Impl>(std::make_unique<httplib::SSLServer>(certificateFile.c_str(), keyFile.c_str())))
{
    impl->tls = true;
    start();
}
#else
// Built without OpenSSL (the Windows program, whose downloads use the system's TLS): the https server of the tests
// answers plain http, which a client expecting TLS cannot read.
LocalServer::LocalServer(const std::string&, const std::string&)
    : impl(std::make_unique<Impl>(std::make_unique<httplib::Server>()))
{
    impl->tls = true;
    start();
}
#endif

void LocalServer::start()
{
    impl->routes();
    impl->server.set_keep_alive_max_count(1000);
    // Headers and body go out as separate writes: without this, Nagle and delayed ACKs add 40 ms to each answer.
    impl->server.set_tcp_nodelay(true);
    // A connection stays open for a request that follows within about 10 ms (a page worker's next download), and
    // closes when idle, so that stopping the server does not wait for idle connections.
    impl->server.set_keep_alive_timeout(0);
    impl->port = impl->server.bind_to_any_port("127.0.0.1");
    // The socket listens from here on: connections made before the loop starts wait in the backlog.
    if (impl->port <= 0)
        return;
    impl->thread = std::thread([this] { impl->server.listen_after_bind(); });
    // A stop before the loop runs would be missed, and the loop would then never end.
    while (!impl->server.is_running())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

LocalServer::~LocalServer()
{
    {
        std::lock_guard lock(impl->mutex);
        impl->isStopping = true;
    }
    impl->stopping.notify_all();
    impl->server.stop();
    if (impl->thread.joinable())
        impl->thread.join();
}

bool LocalServer::isRunning() const
{
    return impl->port > 0;
}

std::string LocalServer::baseAddress() const
{
    return (impl->tls ? "https://127.0.0.1:" : "http://127.0.0.1:") + std::to_string(impl->port);
}

int LocalServer::port() const
{
    return impl->port;
}

void LocalServer::setPage(const std::string& path, ByteSet body)
{
    std::lock_guard lock(impl->mutex);
    impl->statuses.erase(path);
    impl->redirects.erase(path);
    impl->pages[path] = std::move(body);
}

void LocalServer::removePage(const std::string& path)
{
    std::lock_guard lock(impl->mutex);
    impl->pages.erase(path);
}

void LocalServer::setRedirect(const std::string& path, const std::string& target)
{
    std::lock_guard lock(impl->mutex);
    impl->redirects[path] = target;
}

void LocalServer::setFailures(const std::string& path, int count, int status)
{
    std::lock_guard lock(impl->mutex);
    impl->failures[path] = {count, status};
}

void LocalServer::setStatus(const std::string& path, int status)
{
    std::lock_guard lock(impl->mutex);
    impl->statuses[path] = status;
}

void LocalServer::setResponseDelay(std::chrono::milliseconds delay)
{
    std::lock_guard lock(impl->mutex);
    impl->delay = delay;
}

void LocalServer::setCompression(bool enabled)
{
    std::lock_guard lock(impl->mutex);
    impl->compression = enabled;
}

void LocalServer::setStreamedRoute(const std::string& path, StreamedAnswer answer)
{
    std::lock_guard lock(impl->mutex);
    impl->streamed[path] = std::move(answer);
}

bool LocalServer::waitUnlessStopping(std::chrono::milliseconds duration) const
{
    return impl->pause(duration);
}

std::string LocalServer::lastUserAgent() const
{
    std::lock_guard lock(impl->mutex);
    return impl->userAgent;
}

int LocalServer::requestCount(const std::string& path) const
{
    std::lock_guard lock(impl->mutex);
    const auto found = impl->counts.find(path);
    return found == impl->counts.end() ? 0 : found->second;
}

int LocalServer::totalRequests() const
{
    std::lock_guard lock(impl->mutex);
    return impl->total;
}

void LocalServer::resetCounts()
{
    std::lock_guard lock(impl->mutex);
    impl->counts.clear();
    impl->total = 0;
}

} // namespace platform
