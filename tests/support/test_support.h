// Shared test helpers: scratch folders, GBK literals, a window that records calls, the sample site on a server.
#pragma once

#include "catalog/catalog.h"
#include "platform/file_system.h"
#include "platform/http_client.h"
#include "platform/local_server.h"
#include "platform/window_model.h"
#include "site/sample_site.h"
#include "site/site_accessor.h"
#include "support/fault_server.h"

#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace testing_support {

/// GBK bytes of a UTF-8 literal.
Text gbk(std::string_view utf8);
/// UTF-8 of GBK bytes.
std::string utf8(const Text& gbkText);

/// One erasure applied by itself, as `matching::eraseInTurn` applies each: every occurrence of `needle` (left to right,
/// without overlap; text the deletions join is not searched again); or every one of the single `bytes` in
/// [begin, end).
Text eraseAll(Text text, std::string_view needle);
Text eraseBytes(Text text, std::string_view bytes, std::size_t begin = 0, std::size_t end = Text::npos);

/// A fresh folder under the system's temporary folder, removed with its content at the end of the test.
class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    const platform::Path& path() const { return folder; }
    /// Every regular file below the folder, as paths relative to it, sorted.
    std::vector<std::string> files() const;

private:
    platform::Path folder;
};

/// How many of the sample site's `articles` `site` has stored, and how many of those are not complete (do not end
/// with their notice).
struct StoredArticles {
    int stored = 0;
    int incomplete = 0;
};
StoredArticles storedArticles(const SiteAccessor& site, const std::vector<sample::SampleArticle>& articles);

/// Downloads with short time-outs, so fault tests end quickly.
platform::DownloadLimits shortLimits();
ByteSet quickDownload(const Text& address);
platform::DownloadResult quickFetch(const Text& address, const platform::DownloadLimits& limits = {});

/// The sample site served on 127.0.0.1, with a scratch store and an environment pointing at both.
class SampleServer {
public:
    SampleServer();
    FaultServer server;
    sample::SampleSite site;
    ScratchFolder store;
    SiteEnvironment environment() const;
    /// Requests for article pages (every path that is not a listing page).
    int articleRequests() const;
};

/// The whole content of `file` from its start; closes it.
std::string readAllAndClose(std::FILE* file);

/// A WindowModel that records every change as one line of a log, in call order.
class FakeWindow : public platform::WindowModel {
public:
    void setCaption(const Text& caption) override;
    void clearItems(platform::Control list) override;
    void addItem(platform::Control list, const Text& text, int data) override;
    void setSelectionIndex(platform::Control list, int index) override;
    void setDisabled(platform::Control control, bool disabled) override;
    void replaceText(const Text& text) override;
    bool replaceTextIf(const Text& text, const std::function<bool()>& stillWanted) override;
    void appendText(const Text& text) override;
    /// Selects as the user would (no handler runs here; tests call the handler themselves).
    void userSelects(platform::Control list, int index) { recordUserSelection(list, index); }

    std::vector<std::string> log() const;
    void clearLog();

private:
    void record(std::string line);
    mutable std::mutex logMutex;
    std::vector<std::string> lines;
};

const char* controlName(platform::Control control);

} // namespace testing_support
