// Character variants over OpenCC's Simplified-Traditional conversions.
#include "platform/chinese_variants.h"

#include <opencc/opencc.h>

#include <algorithm>
#include <mutex>

namespace platform {
namespace {

// One converter per direction, opened on first use and kept for the process; OpenCC's converters are used under a
// lock, since its documentation promises nothing about threads.
class Converter {
public:
    explicit Converter(const char* config) : handle(opencc_open(config)) {}
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    std::string convert(std::string_view text)
    {
        std::lock_guard lock(mutex);
        if (handle == reinterpret_cast<opencc_t>(-1))
            return std::string(text);
        char* converted = opencc_convert_utf8(handle, text.data(), text.size());
        if (!converted)
            return std::string(text);
        std::string result(converted);
        opencc_convert_utf8_free(converted);
        return result;
    }

private:
    std::mutex mutex;
    opencc_t handle;
};

Converter& toSimplified()
{
    static auto* converter = new Converter("t2s.json");
    return *converter;
}

Converter& toTraditional()
{
    static auto* converter = new Converter("s2t.json");
    return *converter;
}

} // namespace

std::vector<std::string> characterVariants(std::string_view utf8Character)
{
    std::vector<std::string> forms{std::string(utf8Character)};
    for (Converter* converter : {&toSimplified(), &toTraditional()}) {
        std::string form = converter->convert(utf8Character);
        if (!form.empty() && std::find(forms.begin(), forms.end(), form) == forms.end())
            forms.push_back(std::move(form));
    }
    return forms;
}

} // namespace platform
