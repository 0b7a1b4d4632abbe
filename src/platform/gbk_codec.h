// GBK conversion: the only place where texts leave or enter the GBK code page.
#pragma once

#include "platform/text.h"

#include <string>
#include <string_view>

namespace platform::gbk {

/// Converts UTF-8 to GBK. Characters that GBK cannot hold become '?'. Callable from any thread.
Text fromUtf8(std::string_view utf8);

/// Decodes GBK bytes as GB18030 (the superset browsers use) into UTF-8. A byte that starts no valid character
/// becomes U+FFFD and decoding goes on, so the result is never empty or cut off for non-empty input.
std::string toUtf8(std::string_view gbk);

} // namespace platform::gbk
