// Article files: the name a title gets in the category folder, and the text written in it and read back.
#pragma once

#include "catalog/catalog.h"
#include "platform/text.h"

#include <string>

namespace articles {

/// The article file's name for `title` (GBK), in the file system's encoding (UTF-8), ".txt" included. The title is
/// decoded as GB18030 and changed only where it must be: \ / : * ? " < > | become their full-width forms, control
/// characters are dropped, a name of only "." or ".." has its dots replaced by "．", and a name too long for
/// 255 bytes with ".txt" is shortened at a character boundary. A title needing none of this keeps its exact name;
/// one that needed any of it (or held bytes that are not GBK) gets "~" and eight hex digits of a hash of its bytes
/// before ".txt", so that two different titles never meet in one file. The result never holds a path separator,
/// so the file always lies in the category folder.
std::string articleFileName(const Text& title);

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
