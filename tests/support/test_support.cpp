// Shared test helpers.
#include "support/test_support.h"

#include "matching/gbk_text.h"
#include "platform/gbk_codec.h"

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <random>
#include <vector>

namespace testing_support {

namespace fs = std::filesystem;

Text gbk(std::string_view utf8Text)
{
    return platform::gbk::fromUtf8(utf8Text);
}

Text eraseAll(Text text, std::string_view needle)
{
    return matching::eraseInTurn(std::move(text), {&needle, 1});
}

Text eraseBytes(Text text, std::string_view bytes, std::size_t begin, std::size_t end)
{
    std::vector<std::string_view> each;
    for (std::size_t i = 0; i < bytes.size(); ++i)
        each.push_back(bytes.substr(i, 1));
    return matching::eraseInTurn(std::move(text), each, begin, end);
}

std::string utf8(const Text& gbkText)
{
    return platform::gbk::toUtf8(gbkText);
}

ScratchFolder::ScratchFolder()
{
    static std::atomic<int> counter{0};
    std::random_device random;
    const fs::path base = fs::temp_directory_path() /
        ("varnholt-test-" + std::to_string(random()) + "-" + std::to_string(counter.fetch_add(1)));
    fs::create_directories(base);
    const std::u8string text = base.generic_u8string();
    folder.assign(text.begin(), text.end());
}

ScratchFolder::~ScratchFolder()
{
    std::error_code error;
    fs::remove_all(fs::path(std::u8string(folder.begin(), folder.end())), error);
}

StoredArticles storedArticles(const SiteAccessor& site, const std::vector<sample::SampleArticle>& articles)
{
    StoredArticles counted;
    for (const sample::SampleArticle& article : articles) {
        const auto content = platform::readWholeFile(site.articleFilePath(article.title));
        if (!content)
            continue;
        ++counted.stored;
        counted.incomplete += content->ends_with(article.disclaimer) ? 0 : 1;
    }
    return counted;
}

std::vector<std::string> ScratchFolder::files() const
{
    std::vector<std::string> result;
    const fs::path base(std::u8string(folder.begin(), folder.end()));
    std::error_code error;
    for (fs::recursive_directory_iterator it(base, error), end; !error && it != end; it.increment(error)) {
        if (!it->is_regular_file())
            continue;
        const std::u8string relative = fs::relative(it->path(), base).generic_u8string();
        result.emplace_back(relative.begin(), relative.end());
    }
    std::sort(result.begin(), result.end());
    return result;
}

platform::DownloadLimits shortLimits()
{
    platform::DownloadLimits limits;
    limits.connectTimeout = std::chrono::milliseconds(2000);
    limits.lowSpeedBytes = 100;
    limits.lowSpeedTime = std::chrono::seconds(1);
    limits.totalTimeout = std::chrono::milliseconds(4000);
    limits.maxBodyBytes = 1024 * 1024;
    return limits;
}

ByteSet quickDownload(const Text& address)
{
    return platform::fetch(address, shortLimits()).body;
}

platform::DownloadResult quickFetch(const Text& address, const platform::DownloadLimits& limits)
{
    // The shorter of each bound: the caller's deadline holds.
    platform::DownloadLimits quick = shortLimits();
    quick.connectTimeout = std::min(quick.connectTimeout, limits.connectTimeout);
    quick.totalTimeout = std::min(quick.totalTimeout, limits.totalTimeout);
    quick.lowSpeedTime = std::min(quick.lowSpeedTime, limits.lowSpeedTime);
    return platform::fetch(address, quick);
}

SampleServer::SampleServer() : site(server.baseAddress())
{
    site.serveOn(server);
}

SiteEnvironment SampleServer::environment() const
{
    return {quickDownload, store.path(), server.baseAddress(), quickFetch};
}

int SampleServer::articleRequests() const
{
    int listing = 0;
    for (int page = 1; page <= sample::SampleSite::PageCount; ++page)
        listing += server.requestCount(page == 1 ? "/303/index.html" : "/303/" + std::to_string(page) + ".html");
    return server.totalRequests() - listing;
}

std::string readAllAndClose(std::FILE* file)
{
    std::rewind(file);
    std::string text;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;)
        text.append(buffer, n);
    std::fclose(file);
    return text;
}

const char* controlName(platform::Control control)
{
    switch (control) {
    case platform::Control::TopicList: return "topic";
    case platform::Control::PageList: return "page";
    case platform::Control::EntryList: return "entry";
    case platform::Control::ArticleList: return "article";
    case platform::Control::TextBox: return "text";
    }
    return "?";
}

void FakeWindow::record(std::string line)
{
    std::lock_guard lock(logMutex);
    lines.push_back(std::move(line));
}

std::vector<std::string> FakeWindow::log() const
{
    std::lock_guard lock(logMutex);
    return lines;
}

void FakeWindow::clearLog()
{
    std::lock_guard lock(logMutex);
    lines.clear();
}

void FakeWindow::setCaption(const Text& caption)
{
    record("caption " + utf8(caption));
    WindowModel::setCaption(caption);
}

void FakeWindow::clearItems(platform::Control list)
{
    record(std::string("clear ") + controlName(list));
    WindowModel::clearItems(list);
}

void FakeWindow::addItem(platform::Control list, const Text& text, int data)
{
    record(std::string("add ") + controlName(list) + " " + utf8(text) + " " + std::to_string(data));
    WindowModel::addItem(list, text, data);
}

void FakeWindow::setSelectionIndex(platform::Control list, int index)
{
    record(std::string("select ") + controlName(list) + " " + std::to_string(index));
    WindowModel::setSelectionIndex(list, index);
}

void FakeWindow::setDisabled(platform::Control control, bool disabled)
{
    record(std::string(disabled ? "disable " : "enable ") + controlName(control));
    WindowModel::setDisabled(control, disabled);
}

void FakeWindow::replaceText(const Text& text)
{
    record("text " + utf8(text));
    WindowModel::replaceText(text);
}

bool FakeWindow::replaceTextIf(const Text& text, const std::function<bool()>& stillWanted)
{
    // Logged only when it replaced, in the order of the replacements.
    std::lock_guard lock(logMutex);
    if (!WindowModel::replaceTextIf(text, stillWanted))
        return false;
    lines.push_back("text " + utf8(text));
    return true;
}

void FakeWindow::appendText(const Text& text)
{
    record("append " + utf8(text));
    WindowModel::appendText(text);
}

} // namespace testing_support
