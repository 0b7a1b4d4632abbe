// The texts the window shows, in GBK.
#pragma once

#include "platform/text.h"

namespace messages {

const Text& windowCaption();
const Text& loadingFirstPart();
const Text& loadingSecondPart();
const Text& completion();
/// Instead of the completion message when `count` articles of the page could not be obtained: how many, and why.
Text articlesMissing(int count, bool siteSilent);
/// Shown once when the site cannot be reached and the lists come from the saved listing pages.
const Text& offlineNotice();
/// Shown when the counts cannot be read from the built-in placeholder site: how to set the site.
const Text& siteNotSet();

} // namespace messages
