// Character variants over OpenCC's Simplified-Traditional character tables.
#include "platform/chinese_variants.h"

#include <opencc/Config.hpp>
#include <opencc/Conversion.hpp>
#include <opencc/ConversionChain.hpp>
#include <opencc/Converter.hpp>
#include <opencc/Dict.hpp>
#include <opencc/DictEntry.hpp>

#include <algorithm>
#include <exception>

namespace platform {
namespace {

// One of OpenCC's character tables ("STCharacters.ocd2", "TSCharacters.ocd2"), loaded through a configuration of its
// own from OpenCC's data folder. The stock conversions also load the phrase tables, ten times the size and
// useless for single characters: a tenth of a search's time went into loading them. The table also gives every form
// of a character (发: 發 and 髮), where a conversion gives one.
class CharacterTable {
public:
    explicit CharacterTable(const std::string& file)
    {
        const std::string dict = R"({"type": "ocd2", "file": ")" + file + R"("})";
        const std::string json = R"({"name": ")" + file + R"(", "segmentation": {"type": "mmseg", "dict": )" + dict +
                                 R"(}, "conversion_chain": [{"dict": )" + dict + "}]}";
        try {
            const opencc::ConverterPtr converter = opencc::Config().NewFromString(json, "");
            table = converter->GetConversionChain()->GetConversions().front()->GetDict();
        } catch (const std::exception&) {
            // Without OpenCC's data every character stands for itself alone.
        }
    }

    // Loaded once, then only read: safe from any thread.
    std::vector<std::string> formsOf(std::string_view character) const
    {
        if (!table)
            return {};
        const auto entry = table->Match(character.data(), character.size());
        return entry.IsNull() ? std::vector<std::string>{} : entry.Get()->Values();
    }

private:
    opencc::DictPtr table;
};

} // namespace

std::vector<std::string> characterVariants(std::string_view utf8Character)
{
    static const auto* toTraditional = new CharacterTable("STCharacters.ocd2");
    static const auto* toSimplified = new CharacterTable("TSCharacters.ocd2");
    std::vector<std::string> forms{std::string(utf8Character)};
    for (const CharacterTable* table : {toTraditional, toSimplified})
        for (std::string& form : table->formsOf(utf8Character))
            if (!form.empty() && std::find(forms.begin(), forms.end(), form) == forms.end())
                forms.push_back(std::move(form));
    return forms;
}

} // namespace platform
