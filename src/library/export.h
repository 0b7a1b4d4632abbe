// Taking the stored articles away: as one EPUB book, or as UTF-8 text files.
#pragma once

#include "platform/outcome.h"
#include "platform/text.h"
#include "site/site_accessor.h"

#include <optional>
#include <string>
#include <vector>

namespace library {

struct ExportRequest {
    bool epub = true;        ///< else UTF-8 text files
    std::string target;      ///< the book's file, or the text files' folder
    int from = 1;
    std::optional<int> to;   ///< the last saved listing page when not given
};

/// An article a saved listing page names but the store does not hold.
struct LeftOut {
    Text title;
    int page = 0;
};

struct ExportResult {
    int pages = 0;    ///< saved listing pages in the range
    int articles = 0; ///< exported
    std::vector<LeftOut> leftOut; ///< listed on those pages but not stored: left out of the export
    platform::Status written;     ///< whether the book or the files are in place; a failure when nothing was chosen

    int missing() const { return static_cast<int>(leftOut.size()); }
};

/// Exports the stored articles of the saved listing pages `from` to `to`, in listing order (page by page, each page's
/// entries in order, each article once): one EPUB 3 book, written atomically, or one UTF-8 file with LF line ends
/// per article under a folder, each replaced atomically. Downloads nothing.
ExportResult exportStore(const SiteAccessor& site, const ExportRequest& request);

} // namespace library
