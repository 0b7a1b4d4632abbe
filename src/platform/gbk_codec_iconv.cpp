// GBK conversion over iconv.
#include "platform/gbk_codec.h"

#include <iconv.h>

#include <cerrno>
#include <memory>

namespace platform::gbk {
namespace {

struct IconvDeleter {
    void operator()(iconv_t handle) const { iconv_close(handle); }
};
using UniqueIconv = std::unique_ptr<std::remove_pointer_t<iconv_t>, IconvDeleter>;

constexpr std::string_view ReplacementCharacter = "\xEF\xBF\xBD";

// One converter per thread and direction: iconv_t keeps shift state and must not be shared.
iconv_t converter(const char* to, const char* from, UniqueIconv& slot)
{
    if (!slot) {
        iconv_t handle = iconv_open(to, from);
        if (handle == reinterpret_cast<iconv_t>(-1))
            return handle;
        slot.reset(handle);
    }
    iconv(slot.get(), nullptr, nullptr, nullptr, nullptr);
    return slot.get();
}

// Converts `input`; `onInvalid` is called with the remaining input when a sequence cannot be converted, and
// returns how many bytes to skip after appending its own substitute to `output`.
template <typename OnInvalid>
std::string convert(iconv_t handle, std::string_view input, OnInvalid onInvalid)
{
    std::string output;
    if (handle == reinterpret_cast<iconv_t>(-1))
        return output;
    output.reserve(input.size() * 3 / 2 + 16);
    char buffer[8192];
    // iconv's interface takes a non-const input pointer but does not write through it.
    char* in = const_cast<char*>(input.data());
    std::size_t inLeft = input.size();
    while (inLeft > 0) {
        char* out = buffer;
        std::size_t outLeft = sizeof buffer;
        const std::size_t result = iconv(handle, &in, &inLeft, &out, &outLeft);
        output.append(buffer, static_cast<std::size_t>(out - buffer));
        if (result != static_cast<std::size_t>(-1))
            continue;
        if (errno == E2BIG)
            continue;
        // EILSEQ or EINVAL (a truncated sequence at the end): substitute and go on after it.
        const std::size_t skip = std::min(inLeft, onInvalid(std::string_view(in, inLeft), output));
        in += skip;
        inLeft -= skip;
        iconv(handle, nullptr, nullptr, nullptr, nullptr);
    }
    return output;
}

} // namespace

Text fromUtf8(std::string_view utf8)
{
    thread_local UniqueIconv slot;
    return convert(converter("GBK", "UTF-8", slot), utf8, [](std::string_view rest, std::string& output) {
        output += '?';
        // Skip the whole UTF-8 sequence of the character GBK cannot hold.
        const auto lead = static_cast<unsigned char>(rest[0]);
        std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
        return length;
    });
}

std::string toUtf8(std::string_view gbk)
{
    thread_local UniqueIconv slot;
    return convert(converter("UTF-8", "GB18030", slot), gbk, [](std::string_view, std::string& output) {
        output += ReplacementCharacter;
        return std::size_t{1};
    });
}

} // namespace platform::gbk
