// The real window under the offscreen platform: its definition, and the whole reading flow against the sample site.
#include "app/reader.h"
#include "app/window_definition.h"
#include "app/window_services.h"

#include "platform/threads.h"
#include "platform/window.h"
#include "support/test_support.h"
#include "support/window_probe.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>

using platform::Control;
using platform::ControlKind;
using testing_support::gbk;
using testing_support::SampleServer;

namespace {

struct WindowFixture : ::testing::Test {
    int argc = 1;
    char name[9] = "varnholt";
    char* argv[2] = {name, nullptr};
    platform::Application application{argc, argv};
    SampleServer sample;
    Catalog catalog;
    platform::Window window{windowDefinition()};
    Reader reader{window.port(), catalog, sample.environment(),
                  [](std::function<void()> work) { platform::startDetached(std::move(work)); }};

    WindowFixture()
    {
        window.setHandlers({[this] { onPageSelected(reader); }, [this] { onEntrySelected(reader); },
                            [this] { onArticleSelected(reader); }});
        window.show();
        onWindowCreated(reader);
        // The counts arrive from a worker.
        waitFor([this] {
            return window.port().itemCount(Control::PageList) > 0 && window.port().itemCount(Control::EntryList) > 0;
        });
    }

    ~WindowFixture() { platform::waitForDetachedThreads(std::chrono::seconds(5)); }

    // Processes events until `done` holds or five seconds pass.
    template <typename Condition>
    bool waitFor(Condition done)
    {
        const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (!done()) {
            if (std::chrono::steady_clock::now() > limit)
                return false;
            platform::Application::processEvents();
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        platform::Application::processEvents();
        return true;
    }
};

} // namespace

using MainWindow = WindowFixture;
using testing_support::view;
using testing_support::userSelects;
using testing_support::isResizable;

TEST_F(MainWindow, ControlsFollowTheDefinition)
{
    EXPECT_EQ(window.left(), 50);
    EXPECT_EQ(window.top(), 50);
    EXPECT_EQ(window.width(), 694);
    EXPECT_EQ(window.height(), 610);
    EXPECT_EQ(window.caption(), "Varnholt");
    const struct {
        const char* name;
        ControlKind kind;
        int left, top, width, height;
        const char* caption;
    } controls[] = {
        {"标签1條第", ControlKind::Label, 144, 96, 24, 24, "第"},
        {"组合框1條序", ControlKind::DropDownList, 168, 96, 64, 28, ""},
        {"标签1條", ControlKind::Label, 232, 96, 24, 24, "條"},
        {"标签1頁", ControlKind::Label, 104, 96, 24, 24, "頁"},
        {"标签1頁第", ControlKind::Label, 16, 96, 24, 24, "第"},
        {"组合框1專題", ControlKind::DropDownList, 72, 56, 184, 28, ""},
        {"标签1專題", ControlKind::Label, 16, 56, 64, 24, "專題："},
        {"组合框1頁序", ControlKind::DropDownList, 40, 96, 64, 28, ""},
        {"标签1標題", ControlKind::Label, 80, 16, 104, 24, "Marrowfen"},
        {"编辑框1", ControlKind::TextBox, 272, 16, 400, 552, ""},
        {"选择列表框1", ControlKind::CheckListBox, 16, 136, 240, 432, ""},
    };
    for (const auto& control : controls) {
        SCOPED_TRACE(control.name);
        const testing_support::ControlView view = testing_support::view(window, control.name);
        ASSERT_TRUE(view.found);
        EXPECT_EQ(view.kind, control.kind);
        EXPECT_EQ(view.left, control.left);
        EXPECT_EQ(view.top, control.top);
        EXPECT_EQ(view.width, control.width);
        EXPECT_EQ(view.height, control.height);
        EXPECT_EQ(view.caption, control.caption);
        EXPECT_EQ(view.fontFamily, "楷体");
        EXPECT_EQ(view.fontPixelSize, 20);
    }
    const testing_support::ControlView topic = view(window, "组合框1專題");
    EXPECT_EQ(topic.items, std::vector<std::string>{"母豬養殖技術"});
    EXPECT_EQ(topic.selection, 0);
    EXPECT_FALSE(topic.enabled);
    EXPECT_EQ(view(window, "组合框1頁序").items, (std::vector<std::string>{"1", "2", "3"}));
    EXPECT_EQ(view(window, "组合框1頁序").selection, -1);
    EXPECT_EQ(view(window, "组合框1條序").items.size(), 58u);
    EXPECT_TRUE(view(window, "编辑框1").readOnly);
    // The reader may make the window larger or smaller.
    EXPECT_TRUE(isResizable(window));
}

// A larger window gives the text box its width and height and the article list its height; a smaller one takes them
// back, down to a smallest size; nothing else moves, and nothing overlaps. The text size follows Ctrl+wheel.
TEST_F(MainWindow, AResizedWindowGivesTheTextBoxAndTheListTheRoomAndCtrlWheelZooms)
{
    const struct {
        int width, height;
        int boxWidth, boxHeight, listHeight;
    } sizes[] = {{894, 810, 600, 752, 632}, {500, 400, 206, 342, 222}, {100, 100, 120, 240, 120}};
    for (const auto& size : sizes) {
        SCOPED_TRACE(size.width);
        window.setPlace(50, 50, size.width, size.height);
        platform::Application::processEvents();
        const testing_support::ControlView box = view(window, "编辑框1");
        const testing_support::ControlView list = view(window, "选择列表框1");
        EXPECT_EQ(box.left, 272);
        EXPECT_EQ(box.top, 16);
        EXPECT_EQ(box.width, size.boxWidth);
        EXPECT_EQ(box.height, size.boxHeight);
        EXPECT_EQ(list.left, 16);
        EXPECT_EQ(list.width, 240);
        EXPECT_EQ(list.height, size.listHeight);
        EXPECT_LT(list.left + list.width, box.left);
        EXPECT_EQ(view(window, "组合框1條序").left, 168);
        EXPECT_GE(window.width(), box.left + box.width);
        EXPECT_GE(window.height(), list.top + list.height);
    }
    window.setPlace(50, 50, 694, 610);
    EXPECT_EQ(window.textSize(), 20);
    testing_support::userWheels(window, "编辑框1", 3, true);
    EXPECT_EQ(view(window, "编辑框1").fontPixelSize, 26);
    testing_support::userWheels(window, "编辑框1", -1, true);
    testing_support::userWheels(window, "编辑框1", 5, false); // scrolls, no zoom
    EXPECT_EQ(window.textSize(), 24);
    EXPECT_EQ(view(window, "编辑框1").fontPixelSize, 24);
    EXPECT_EQ(view(window, "选择列表框1").fontPixelSize, 20);
    window.setTextSize(1000);
    EXPECT_EQ(window.textSize(), 60);
}

// Search, export and the site from the window, with no terminal: the search finds 豬 and 猪 alike and opens the hit,
// the export writes the book, and the site dialog checks an address before it keeps it in the configuration file.
TEST_F(MainWindow, SearchExportAndTheSiteFromTheWindow)
{
    using testing_support::userEnters;
    userSelects(window, Control::PageList, 0);
    ASSERT_TRUE(waitFor([&] { return window.port().text() == gbk("恭喜您：本頁所有文章加載完畢！"); }));
    ASSERT_TRUE(platform::waitForDetachedThreads(std::chrono::seconds(5)));
    window.setServices(readerServices(reader));

    testing_support::userTriggers(window, "搜索本機文章…");
    ASSERT_TRUE(testing_support::dialogOpen(window, "搜索"));
    userEnters(window, "搜索詞", "豬");
    const std::vector<std::string> traditional = view(window, "搜索結果").items;
    userEnters(window, "搜索詞", "猪");
    const std::vector<std::string> found = view(window, "搜索結果").items;
    ASSERT_FALSE(found.empty());
    EXPECT_EQ(found, traditional);
    EXPECT_EQ(view(window, "搜索結果數").caption, "找到 " + std::to_string(found.size()) + " 篇");
    EXPECT_TRUE(found[0].starts_with("第1頁　"));
    testing_support::userActivates(window, "搜索結果", 0);
    const Text shown = window.port().text();
    const std::string title = testing_support::utf8(shown.substr(0, shown.find("\r\n")));
    EXPECT_NE(found[0].find("　" + title + "　"), std::string::npos);
    const int selected = window.port().selectionIndex(Control::ArticleList);
    ASSERT_GE(selected, 0);
    EXPECT_EQ(testing_support::utf8(window.port().itemText(Control::ArticleList, selected)), title);
    userEnters(window, "搜索詞", "不存在的詞");
    EXPECT_EQ(view(window, "搜索結果數").caption, "沒有找到");

    testing_support::ScratchFolder out;
    const std::string book = out.path() + "/book.epub";
    EXPECT_EQ(window.exportChosen(book, true), "已匯出 20 篇文章到 " + book);
    EXPECT_EQ(platform::readWholeFile(book).value_or("").substr(0, 2), "PK");

    testing_support::ScratchFolder config;
    ::setenv("XDG_CONFIG_HOME", config.path().c_str(), 1);
    ASSERT_TRUE(platform::ensureDirectories(config.path() + "/varnholt"));
    ASSERT_TRUE(platform::writeWholeFile(config.path() + "/varnholt/varnholt.conf", "# mine\nsite=https://old\n"));
    window.askForSite();
    ASSERT_TRUE(testing_support::dialogOpen(window, "網站"));
    userEnters(window, "網站地址", "no site");
    EXPECT_TRUE(view(window, "網站狀態").caption.starts_with("這不是網站地址"));
    EXPECT_TRUE(testing_support::dialogOpen(window, "網站"));
    userEnters(window, "網站地址", sample.server.baseAddress() + "/303/index.html");
    EXPECT_FALSE(testing_support::dialogOpen(window, "網站"));
    EXPECT_EQ(platform::readWholeFile(config.path() + "/varnholt/varnholt.conf").value_or(""),
              "# mine\nsite=" + sample.server.baseAddress() + "\n");
    ::unsetenv("XDG_CONFIG_HOME");
}

TEST_F(MainWindow, ReadingFlowEndToEnd)
{
    userSelects(window, Control::PageList, 0);
    ASSERT_TRUE(waitFor([&] { return window.port().text() == gbk("恭喜您：本頁所有文章加載完畢！"); }));
    ASSERT_TRUE(platform::waitForDetachedThreads(std::chrono::seconds(5)));
    platform::Application::processEvents();
    const testing_support::ControlView articles = view(window, "选择列表框1");
    ASSERT_EQ(articles.items.size(), 20u);
    EXPECT_EQ(articles.items[0], testing_support::utf8(sample.site.articlesOfPage(1)[0].title));
    EXPECT_TRUE(articles.enabled);
    // Every article is stored now, and its box says so; a click does not change a box.
    EXPECT_EQ(articles.itemChecked, std::vector<bool>(20, true));
    EXPECT_EQ(articles.itemCheckable, std::vector<bool>(20, true));
    EXPECT_EQ(articles.itemUserCheckable, std::vector<bool>(20, false));
    EXPECT_EQ(view(window, "编辑框1").text, "恭喜您：本頁所有文章加載完畢！");
    EXPECT_EQ(sample.articleRequests(), 20);

    userSelects(window, Control::ArticleList, 6);
    const sample::SampleArticle article = sample.site.articlesOfPage(1)[6];
    ASSERT_TRUE(waitFor([&] { return window.port().text().starts_with(article.title); }));
    EXPECT_EQ(view(window, "组合框1條序").selection, 6);
    // The text box shows the file's lines as lines.
    const std::string shown = view(window, "编辑框1").text;
    EXPECT_TRUE(shown.starts_with(testing_support::utf8(article.title) + "\n" + article.date + "\n作者未知\n"));
    EXPECT_EQ(shown.find('\r'), std::string::npos);
    EXPECT_EQ(sample.articleRequests(), 20);
    ASSERT_TRUE(platform::waitForDetachedThreads(std::chrono::seconds(5)));
}
