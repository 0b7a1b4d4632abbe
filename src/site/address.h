// Resolving the links of a listing page into addresses that can be downloaded.
#pragma once

#include "platform/text.h"

#include <string>

namespace site {

/// Whether `address` is an absolute http or https address (scheme compared without regard to case).
bool isHttpAddress(const Text& address);

/// `href` resolved against the absolute address `base`: absolute http(s) addresses stay as they are; scheme-relative
/// ("//host/x"), root-relative ("/x") and relative ("x", "../x") links are joined to `base`. Any other scheme
/// (file:, javascript:, ...) is returned unchanged, so that its download fails like any other.
Text resolveAddress(const Text& href, const Text& base);

/// The site's address as the program keeps it: scheme, host and port, from whatever a user copies from a browser.
/// A path, query or fragment is dropped ("https://host/303/index.html" and "https://host/303/" both give
/// "https://host"), and so are trailing slashes and the white space around it. An address without "://" is returned
/// without its trailing slashes.
std::string siteAddressOf(const std::string& address);

} // namespace site
