// Simplified and Traditional forms from OpenCC's character tables as a text file beside the program (written at
// build time by tools/character_tables.cpp from the tables the Linux program reads), for a system without OpenCC.
#include "platform/chinese_variants.h"

#include "platform/file_system.h"

#include <algorithm>
#include <unordered_map>

namespace platform {
namespace {

constexpr std::string_view TableFile = "character-tables.txt";

// The two tables, read once: "S" lines give Traditional forms, "T" lines Simplified ones.
struct CharacterTables {
    std::unordered_map<std::string, std::vector<std::string>> toTraditional, toSimplified;

    CharacterTables()
    {
        const Result<ByteSet> file = readWholeFile(joinPath(runningDirectory(), std::string(TableFile)));
        if (!file)
            return; // without the tables every character stands for itself alone
        std::string_view rest = *file;
        while (!rest.empty()) {
            const std::size_t end = rest.find('\n');
            const std::string_view line = rest.substr(0, end);
            rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
            const std::size_t tab = line.find('\t');
            if (line.size() < 2 || tab == std::string_view::npos || (line[0] != 'S' && line[0] != 'T'))
                continue;
            auto& forms = (line[0] == 'S' ? toTraditional : toSimplified)[std::string(line.substr(1, tab - 1))];
            for (std::string_view values = line.substr(tab + 1); !values.empty();) {
                const std::size_t space = values.find(' ');
                forms.emplace_back(values.substr(0, space));
                values = space == std::string_view::npos ? std::string_view() : values.substr(space + 1);
            }
        }
    }
};

} // namespace

std::vector<std::string> characterVariants(std::string_view utf8Character)
{
    static const auto* tables = new CharacterTables();
    std::vector<std::string> forms{std::string(utf8Character)};
    for (const auto* table : {&tables->toTraditional, &tables->toSimplified})
        if (const auto found = table->find(std::string(utf8Character)); found != table->end())
            for (const std::string& form : found->second)
                if (!form.empty() && std::find(forms.begin(), forms.end(), form) == forms.end())
                    forms.push_back(form);
    return forms;
}

} // namespace platform
