// The site's mark-up as the program expects it: patterns, literals and folder names.
#pragma once

#include "platform/text.h"

#include <string_view>

namespace site {

/// The built-in article site (scheme and host): a placeholder, since the program does not ship the real host.
/// `--site` names the site to read.
constexpr std::string_view DefaultSiteAddress = "https://www.muzhu-yangzhi.invalid";
/// The category's index page below the site address.
constexpr std::string_view IndexPagePath = "/303/index.html";

/// Folder names of the folder tree (file-system names, UTF-8).
constexpr std::string_view RootFolderName = "Marrowfen";
constexpr std::string_view CategoryFolderName = "母豬養殖技術";
constexpr std::string_view ListingFolderName = "目録";

// Patterns and literals in GBK, converted once.
const Text& pageCountPattern();
const Text& entryCountPattern();
const Text& entryPattern();
const Text& tagPattern();
const Text& leadInPattern();
/// The lead-in's opening marker, with which the article clean-up finds what `leadInPattern` matches.
const Text& leadInMarker();
const Text& disclaimerPattern();
const Text& unknownAuthor();
/// The category's name as the topic list shows it.
const Text& categoryName();

} // namespace site
