// HTTP(S) downloads: one GET, the whole body, bounded in time and size.
#pragma once

#include "platform/text.h"

#include <chrono>
#include <cstddef>
#include <string>

namespace platform {

/// Bounds of one download. The defaults are the program's; tests shorten them.
struct DownloadLimits {
    std::chrono::milliseconds connectTimeout{15'000};
    /// Abort when fewer than `lowSpeedBytes` per second arrive for `lowSpeedTime`.
    long lowSpeedBytes = 100;
    std::chrono::seconds lowSpeedTime{30};
    std::chrono::milliseconds totalTimeout{120'000};
    std::size_t maxBodyBytes = 32u * 1024 * 1024;
    long maxRedirects = 5;
};

/// Why a download brought no content.
enum class DownloadFailure {
    None,
    BadAddress,       ///< empty, malformed, or a scheme other than http and https (also after a redirect)
    Unreachable,      ///< no connection could be made: refused, no route, no such host name
    Connection,       ///< the connection broke
    Timeout,          ///< a time-out of `DownloadLimits` ran out
    HttpStatus,       ///< the final response was not 2xx (see `status`)
    TooLarge,         ///< the body exceeded `maxBodyBytes`
    TooManyRedirects,
    OffSite,          ///< a redirect led to another host (a login portal, a parked domain): not followed
    Cancelled,        ///< `requestShutdown` was called
    Offline,          ///< not asked: the program reads only its store
    Other,
};

struct DownloadResult {
    ByteSet body;                 ///< empty unless `failure` is None
    DownloadFailure failure = DownloadFailure::None;
    long status = 0;              ///< the final HTTP status, 0 when none was received
    /// The cause in words a user can act on ("connection refused", "HTTP 404 Not Found"); empty on success.
    std::string reason;
    /// The final response's Content-Type header as sent ("text/html; charset=gbk"); empty when none was sent.
    std::string contentType;

    /// Whether a later attempt may succeed: time-outs, broken connections, 429 and 5xx. A host that refused the
    /// connection or could not be found is no passing fault.
    bool isTransient() const;
    /// Whether the site did not answer at all: no connection, or no answer before a time-out.
    bool siteSilent() const;
};

/// Trusts the certificate authorities in this PEM file instead of the system's (a site with a private authority,
/// and tests). Call before downloads start.
void setCertificateAuthorityFile(const std::string& path);

/// The User-Agent sent with every request; "Varnholt/<version>" unless set. Call before downloads start.
void setUserAgent(const std::string& userAgent);
/// The program's own User-Agent, "Varnholt/<version>".
std::string defaultUserAgent();

/// Must be called once, before any other thread starts.
void initNetworking();

/// Issues one GET for `address` and returns the body with the reason of a failure. Never throws and never retries.
/// Sequential downloads reuse their connections, also across threads. Callable from any thread.
DownloadResult fetch(const Text& address, const DownloadLimits& limits = {});

/// The body of `fetch`, or an empty ByteSet on any failure.
ByteSet download(const Text& address);

} // namespace platform
