// HTTP(S) downloads over libcurl, with a process-wide pool of handles and a shared connection cache.
#include "platform/http_client.h"

#include "platform/threads.h"

#include <curl/curl.h>

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <mutex>
#include <vector>

namespace platform {
namespace {

struct CurlEasyCleanup {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
using EasyHandle = std::unique_ptr<CURL, CurlEasyCleanup>;

// Connections, TLS sessions and DNS answers are shared by every handle, so a short-lived worker thread finds the
// connection that the previous one left open. curl asks for the locks itself.
class SharedCache {
public:
    SharedCache()
    {
        share = curl_share_init();
        curl_share_setopt(share, CURLSHOPT_LOCKFUNC, &SharedCache::lock);
        curl_share_setopt(share, CURLSHOPT_UNLOCKFUNC, &SharedCache::unlock);
        curl_share_setopt(share, CURLSHOPT_USERDATA, this);
        curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_CONNECT);
        curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION);
        curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS);
    }
    CURLSH* handle() const { return share; }

    // Easy handles are pooled rather than kept per thread: each keeps its loaded CA store and its TLS state, which
    // a fresh handle would have to read again (about 20 ms of CPU for the system bundle).
    EasyHandle take()
    {
        {
            std::lock_guard guard(poolMutex);
            if (!pool.empty()) {
                EasyHandle handle = std::move(pool.back());
                pool.pop_back();
                return handle;
            }
        }
        return EasyHandle(curl_easy_init());
    }
    void giveBack(EasyHandle handle)
    {
        std::lock_guard guard(poolMutex);
        if (pool.size() < 8)
            pool.push_back(std::move(handle));
    }

private:
    static void lock(CURL*, curl_lock_data data, curl_lock_access, void* user)
    {
        static_cast<SharedCache*>(user)->locks[index(data)].lock();
    }
    static void unlock(CURL*, curl_lock_data data, void* user)
    {
        static_cast<SharedCache*>(user)->locks[index(data)].unlock();
    }
    static std::size_t index(curl_lock_data data)
    {
        const auto value = static_cast<std::size_t>(data);
        return value < CURL_LOCK_DATA_LAST ? value : 0;
    }

    CURLSH* share = nullptr;
    std::mutex locks[CURL_LOCK_DATA_LAST];
    std::mutex poolMutex;
    std::vector<EasyHandle> pool;
};

// Never destroyed: detached workers may still download while static objects are torn down at exit.
SharedCache& sharedCache()
{
    static auto* cache = new SharedCache;
    return *cache;
}

struct Transfer {
    ByteSet body;
    std::size_t maxBodyBytes = 0;
    bool tooLarge = false;
    // The Content-Length values of the response being received; two that differ make the body's end unknown.
    std::string contentLength;
    bool conflictingLengths = false;
};

// Watches the headers of each response (a redirect's headers come before the final response's).
std::size_t header(char* data, std::size_t size, std::size_t count, void* user)
{
    auto* transfer = static_cast<Transfer*>(user);
    const std::string_view line(data, size * count);
    if (line.starts_with("HTTP/")) {
        transfer->contentLength.clear();
        transfer->conflictingLengths = false;
    }
    constexpr std::string_view Name = "content-length:";
    if (line.size() > Name.size()) {
        std::string lower(line.substr(0, Name.size()));
        for (char& c : lower)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (lower == Name) {
            std::string value(line.substr(Name.size()));
            value.erase(0, value.find_first_not_of(" \t"));
            value.erase(value.find_last_not_of(" \t\r\n") + 1);
            if (!transfer->contentLength.empty() && transfer->contentLength != value)
                transfer->conflictingLengths = true;
            transfer->contentLength = value;
        }
    }
    return size * count;
}

std::size_t receive(char* data, std::size_t size, std::size_t count, void* user)
{
    auto* transfer = static_cast<Transfer*>(user);
    const std::size_t length = size * count;
    if (transfer->body.size() + length > transfer->maxBodyBytes) {
        transfer->tooLarge = true;
        return 0;
    }
    transfer->body.append(data, length);
    return length;
}

int progress(void*, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    return shutdownRequested() ? 1 : 0;
}

DownloadFailure classify(CURLcode code)
{
    switch (code) {
    case CURLE_UNSUPPORTED_PROTOCOL:
    case CURLE_URL_MALFORMAT:
        return DownloadFailure::BadAddress;
    case CURLE_OPERATION_TIMEDOUT:
        return DownloadFailure::Timeout;
    case CURLE_FILESIZE_EXCEEDED:
        return DownloadFailure::TooLarge;
    case CURLE_TOO_MANY_REDIRECTS:
        return DownloadFailure::TooManyRedirects;
    case CURLE_ABORTED_BY_CALLBACK:
        return DownloadFailure::Cancelled;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
    case CURLE_COULDNT_CONNECT:
        return DownloadFailure::Unreachable;
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
    case CURLE_PARTIAL_FILE:
    case CURLE_GOT_NOTHING:
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_HTTP2:
    case CURLE_HTTP2_STREAM:
    case CURLE_BAD_CONTENT_ENCODING:
        return DownloadFailure::Connection;
    default:
        return DownloadFailure::Other;
    }
}

const char* statusPhrase(long status)
{
    switch (status) {
    case 206: return "Partial Content";
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 410: return "Gone";
    case 429: return "Too Many Requests";
    case 500: return "Internal Server Error";
    case 502: return "Bad Gateway";
    case 503: return "Service Unavailable";
    case 504: return "Gateway Timeout";
    default: return "";
    }
}

std::string seconds(std::chrono::milliseconds value)
{
    // To a tenth: a download given what is left of a deadline has a limit such as 2.998 s.
    char text[32];
    std::snprintf(text, sizeof text, "%g", std::round(static_cast<double>(value.count()) / 100.0) / 10.0);
    return text;
}

// The cause of a failed transfer, in the words the commands print.
// The system's error for a refused connection, as curl reports it.
#ifdef _WIN32
constexpr long ConnectionRefused = 10061; // WSAECONNREFUSED
#else
constexpr long ConnectionRefused = ECONNREFUSED;
#endif

std::string describe(CURLcode code, CURL* curl, const DownloadLimits& limits, const char* detail)
{
    switch (code) {
    case CURLE_COULDNT_RESOLVE_HOST:
        return "could not resolve host";
    case CURLE_COULDNT_CONNECT: {
        long error = 0;
        curl_easy_getinfo(curl, CURLINFO_OS_ERRNO, &error);
        return error == ConnectionRefused ? "connection refused" : "could not connect";
    }
    case CURLE_OPERATION_TIMEDOUT: {
        // Until the request could be sent (a reused connection gets there at once), the time-out was the connect's.
        curl_off_t ready = 0;
        curl_easy_getinfo(curl, CURLINFO_PRETRANSFER_TIME_T, &ready);
        if (ready == 0)
            return "timed out after " + seconds(limits.connectTimeout) + " s (connect)";
        curl_off_t total = 0;
        curl_easy_getinfo(curl, CURLINFO_TOTAL_TIME_T, &total);
        if (total / 1000 + 1 >= limits.totalTimeout.count())
            return "timed out after " + seconds(limits.totalTimeout) + " s";
        return "timed out: under " + std::to_string(limits.lowSpeedBytes) + " bytes/s for " +
               std::to_string(limits.lowSpeedTime.count()) + " s";
    }
    case CURLE_FILESIZE_EXCEEDED:
        return "body over " + std::to_string(limits.maxBodyBytes / (1024 * 1024)) + " MiB";
    case CURLE_TOO_MANY_REDIRECTS:
        return "too many redirects";
    case CURLE_UNSUPPORTED_PROTOCOL: {
        long redirects = 0;
        curl_easy_getinfo(curl, CURLINFO_REDIRECT_COUNT, &redirects);
        char* next = nullptr;
        curl_easy_getinfo(curl, CURLINFO_REDIRECT_URL, &next);
        return redirects > 0 || next ? "redirect to a non-http address" : "not an http or https address";
    }
    case CURLE_URL_MALFORMAT:
        return "malformed address";
    case CURLE_PEER_FAILED_VERIFICATION:
        return "TLS: certificate verify failed";
    case CURLE_SSL_CONNECT_ERROR:
        return std::string("TLS: ") + (*detail ? detail : "handshake failed");
    case CURLE_ABORTED_BY_CALLBACK:
        return "cancelled";
    case CURLE_GOT_NOTHING:
        return "the server closed the connection without an answer";
    case CURLE_PARTIAL_FILE:
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
        return "connection broken in mid-transfer";
    default:
        return *detail ? detail : curl_easy_strerror(code);
    }
}

long milliseconds(std::chrono::milliseconds value)
{
    return static_cast<long>(value.count());
}

std::mutex authorityMutex;
std::string authorityFile;
std::string userAgent = defaultUserAgent();

} // namespace

std::string defaultUserAgent()
{
    return std::string("Varnholt/") + VARNHOLT_VERSION;
}

void setUserAgent(const std::string& text)
{
    std::lock_guard lock(authorityMutex);
    userAgent = text;
}

void setCertificateAuthorityFile(const std::string& path)
{
    std::lock_guard lock(authorityMutex);
    authorityFile = path;
}

bool DownloadResult::isTransient() const
{
    switch (failure) {
    case DownloadFailure::Timeout:
    case DownloadFailure::Connection:
        return true;
    case DownloadFailure::HttpStatus:
        return status == 429 || status >= 500;
    default:
        return false;
    }
}

bool DownloadResult::siteSilent() const
{
    return failure == DownloadFailure::Unreachable || (failure == DownloadFailure::Timeout && status == 0);
}

void initNetworking()
{
    curl_global_init(CURL_GLOBAL_DEFAULT);
    sharedCache();
}

namespace {

// One request, without following a redirect: a 3xx answer leaves where it points in `location`.
DownloadResult fetchOnce(const Text& address, const DownloadLimits& limits, std::string& location)
{
    DownloadResult result;
    SharedCache& cache = sharedCache();
    EasyHandle handle = cache.take();
    if (!handle) {
        result.failure = DownloadFailure::Other;
        result.reason = "could not start a transfer";
        return result;
    }
    CURL* curl = handle.get();
    Transfer transfer;
    transfer.maxBodyBytes = limits.maxBodyBytes;

    curl_easy_setopt(curl, CURLOPT_URL, address.c_str());
    curl_easy_setopt(curl, CURLOPT_SHARE, cache.handle());
    curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, milliseconds(limits.connectTimeout));
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, milliseconds(limits.totalTimeout));
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, limits.lowSpeedBytes);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, static_cast<long>(limits.lowSpeedTime.count()));
    curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(limits.maxBodyBytes));
    curl_easy_setopt(curl, CURLOPT_ACCEPT_ENCODING, "");
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
    // A name look-up that never answers must not hold up the end: curl then leaves its resolver thread behind.
    curl_easy_setopt(curl, CURLOPT_QUICK_EXIT, 1L);
    std::string agent;
    {
        std::lock_guard lock(authorityMutex);
        if (!authorityFile.empty())
            curl_easy_setopt(curl, CURLOPT_CAINFO, authorityFile.c_str());
        agent = userAgent;
    }
    curl_easy_setopt(curl, CURLOPT_USERAGENT, agent.c_str());
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, &header);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &transfer);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &receive);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, &progress);
    char detail[CURL_ERROR_SIZE] = "";
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, detail);

    const CURLcode code = curl_easy_perform(curl);
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &result.status);
    char* next = nullptr;
    if (code == CURLE_OK && result.status >= 300 && result.status <= 399 &&
        curl_easy_getinfo(curl, CURLINFO_REDIRECT_URL, &next) == CURLE_OK && next)
        location = next;
    char* type = nullptr;
    if (curl_easy_getinfo(curl, CURLINFO_CONTENT_TYPE, &type) == CURLE_OK && type)
        result.contentType = type;
    if (transfer.conflictingLengths) {
        // Where the body ends is unknown: whatever arrived may be half an article.
        result.failure = DownloadFailure::Connection;
        result.reason = "conflicting Content-Length headers";
    } else if (code != CURLE_OK) {
        result.failure = transfer.tooLarge ? DownloadFailure::TooLarge : classify(code);
        result.reason = describe(transfer.tooLarge ? CURLE_FILESIZE_EXCEEDED : code, curl, limits, detail);
    } else if (result.status < 200 || result.status > 299 || result.status == 206) {
        // Ranges are never asked for: a partial answer is half an article.
        result.failure = DownloadFailure::HttpStatus;
        const std::string phrase = statusPhrase(result.status);
        result.reason = "HTTP " + std::to_string(result.status) + (phrase.empty() ? "" : " " + phrase);
    }
    // Drop the per-transfer pointers before the handle goes back to the pool.
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, nullptr);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, nullptr);
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, nullptr);
    cache.giveBack(std::move(handle));
    if (result.failure != DownloadFailure::None)
        return result;
    result.body = std::move(transfer.body);
    return result;
}


// The scheme and the host of an absolute address, the host in lower case; empty parts for anything else.
std::pair<std::string, std::string> schemeAndHost(const std::string& address)
{
    std::pair<std::string, std::string> parts;
    CURLU* url = curl_url();
    if (!url)
        return parts;
    if (curl_url_set(url, CURLUPART_URL, address.c_str(), 0) == CURLUE_OK) {
        char* scheme = nullptr;
        char* host = nullptr;
        if (curl_url_get(url, CURLUPART_SCHEME, &scheme, 0) == CURLUE_OK)
            parts.first = scheme;
        if (curl_url_get(url, CURLUPART_HOST, &host, 0) == CURLUE_OK)
            parts.second = host;
        curl_free(scheme);
        curl_free(host);
    }
    curl_url_cleanup(url);
    for (char& c : parts.second)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return parts;
}

} // namespace

DownloadResult fetch(const Text& address, const DownloadLimits& limits)
{
    DownloadResult result;
    if (address.empty()) {
        result.failure = DownloadFailure::BadAddress;
        result.reason = "no address";
        return result;
    }
    // Redirects are followed here rather than by curl, so that one that leaves the host is never requested: a
    // login portal or a parked domain answers for the site that way, and its page is no page of the site.
    const std::string host = schemeAndHost(address).second;
    Text current = address;
    for (long redirects = 0;; ++redirects) {
        if (shutdownRequested()) {
            result = {};
            result.failure = DownloadFailure::Cancelled;
            result.reason = "cancelled";
            return result;
        }
        std::string location;
        result = fetchOnce(current, limits, location);
        if (location.empty())
            return result;
        const auto [scheme, nextHost] = schemeAndHost(location);
        result = {};
        if (scheme != "http" && scheme != "https") {
            result.failure = DownloadFailure::BadAddress;
            result.reason = "redirect to a non-http address";
            return result;
        }
        if (nextHost != host) {
            result.failure = DownloadFailure::OffSite;
            result.reason = "redirected off the site, to " + nextHost;
            return result;
        }
        if (redirects >= limits.maxRedirects) {
            result.failure = DownloadFailure::TooManyRedirects;
            result.reason = "too many redirects";
            return result;
        }
        current = location;
    }
}

ByteSet download(const Text& address)
{
    return fetch(address).body;
}

} // namespace platform
