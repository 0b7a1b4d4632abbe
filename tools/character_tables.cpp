// Writes OpenCC's two character tables as the Linux program reads them (STCharacters.ocd2, TSCharacters.ocd2) to
// one UTF-8 text file, for the Windows program, which has no OpenCC: a line per character, "S" or "T" (the table
// that gives Traditional or Simplified forms), the character, a TAB, its forms separated by spaces.
//   character_tables OUTPUT
#include <opencc/Config.hpp>
#include <opencc/Conversion.hpp>
#include <opencc/ConversionChain.hpp>
#include <opencc/Converter.hpp>
#include <opencc/Dict.hpp>
#include <opencc/DictEntry.hpp>
#include <opencc/Lexicon.hpp>

#include <cstdio>
#include <fstream>
#include <string>

namespace {

opencc::DictPtr tableOf(const std::string& file)
{
    const std::string dict = R"({"type": "ocd2", "file": ")" + file + R"("})";
    const std::string json = R"({"name": ")" + file + R"(", "segmentation": {"type": "mmseg", "dict": )" + dict +
                             R"(}, "conversion_chain": [{"dict": )" + dict + "}]}";
    const opencc::ConverterPtr converter = opencc::Config().NewFromString(json, "");
    return converter->GetConversionChain()->GetConversions().front()->GetDict();
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: character_tables OUTPUT\n");
        return 2;
    }
    std::ofstream out(argv[1], std::ios::binary);
    for (const auto& [mark, file] : {std::pair{"S", "STCharacters.ocd2"}, std::pair{"T", "TSCharacters.ocd2"}}) {
        const opencc::LexiconPtr lexicon = tableOf(file)->GetLexicon();
        for (const auto& entry : *lexicon) {
            out << mark << entry->Key() << '\t';
            const auto values = entry->Values();
            for (std::size_t i = 0; i < values.size(); ++i)
                out << (i ? " " : "") << values[i];
            out << '\n';
        }
    }
    out.close();
    return out ? 0 : 1;
}
