// Article files: the name a title gets in the category folder, and the text written in it and read back.
#pragma once

#include "catalog/catalog.h"
#include "platform/file_system.h"
#include "platform/text.h"

#include <string>

namespace articles {

/// The largest article file that is read: a real article is some kilobytes.
constexpr std::size_t MaxArticleFileBytes = 64u * 1024 * 1024;

/// The article file's name for `title` (GBK), in the file system's encoding (UTF-8), ".txt" included. The title is
/// decoded as GB18030 and changed only where it must be: \ / : * ? " < > | become their full-width forms, control
/// characters are dropped, a name of only "." or ".." has its dots replaced by "．", and a name too long for
/// 255 bytes with ".txt" is shortened at a character boundary. A title needing none of this keeps its exact name;
/// one that needed any of it (or held bytes that are not GBK) gets "~" and eight hex digits of a hash of its bytes
/// before ".txt", so that two different titles never meet in one file. The result never holds a path separator,
/// so the file always lies in the category folder.
/// A later `attempt` gives the names tried when the first holds another title's article: the title with sixteen
/// hex digits of its hash, then those with "-2", "-3"...
std::string articleFileName(const Text& title, int attempt = 0);

/// Whether an article file starting with `fileStart` is `title`'s: its first line is the title.
bool isFileOf(std::string_view fileStart, const Text& title);

/// How many names a title may take, in articleFileName's order, before it has none left.
constexpr int ArticleNameAttempts = 16;

/// Where `title`'s article is, or goes, in the category folder held by `folder`: the first of its names that is
/// missing or holds its own article. A name holding another title's article is passed over.
struct ArticleFile {
    enum class State {
        Stored,   ///< `name` holds this title's article
        Free,     ///< nothing is at `name`: the article goes there
        NotAFile, ///< something other than a regular file is at `name`; it is neither read nor replaced
        NoName,   ///< every name the title may take holds another title's article
    };
    State state;
    std::string name; ///< empty for NoName
};
/// With `content`, a file found to be the title's is read whole into it (at most `MaxArticleFileBytes`), so that
/// showing it takes one read.
ArticleFile findArticleFile(const platform::FolderLookup& folder, const Text& title, ByteSet* content = nullptr);

/// The parts of an article file's text: title, date, author, body and disclaimer joined by CR LF. A file with fewer
/// lines leaves the later parts empty; the body keeps its own line breaks.
struct ArticleParts {
    Text title;
    Text date;
    Text author;
    Text body;
    Text disclaimer;
};
ArticleParts parseArticleFile(std::string_view fileText);

/// The article file's text of `entry`: title, date, author, body and disclaimer joined by CR LF, no final line break.
Text composeArticleFile(const CatalogEntry& entry);

} // namespace articles
