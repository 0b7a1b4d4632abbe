// Simplified and Traditional forms of Chinese characters.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace platform {

/// The forms of one UTF-8 character that a reader takes for the same character: itself, its Simplified forms and its
/// Traditional forms (发: 發 and 髮), as OpenCC's character tables give them, without repeats. A character OpenCC
/// does not know, or OpenCC's data missing, gives the character alone. Callable from any thread.
std::vector<std::string> characterVariants(std::string_view utf8Character);

} // namespace platform
