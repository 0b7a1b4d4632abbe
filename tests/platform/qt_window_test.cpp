// The Qt window under the offscreen platform: controls, user selections, and changes made from worker threads.
#include "platform/window.h"

#include "support/test_support.h"
#include "support/window_probe.h"

#include <gtest/gtest.h>

#include <thread>

using platform::Control;
using platform::ControlKind;
using testing_support::gbk;

namespace {

platform::WindowDefinition smallDefinition()
{
    return {50, 50, 300, 200,
            {{"list", ControlKind::DropDownList, 10, 10, 64, 28, {}, Control::PageList},
             {"checks", ControlKind::CheckListBox, 10, 50, 100, 100, {}, Control::ArticleList},
             {"box", ControlKind::TextBox, 120, 10, 150, 150, {}, Control::TextBox},
             {"label", ControlKind::Label, 80, 10, 24, 24, gbk("頁"), {}}}};
}

struct QtFixture : ::testing::Test {
    int argc = 1;
    char name[8] = "tests";
    char* argv[2] = {name, nullptr};
    platform::Application application{argc, argv};
};

} // namespace

using QtWindow = QtFixture;
using testing_support::view;
using testing_support::userSelects;

TEST_F(QtWindow, UserSelectionsRunHandlersAndProgramSelectionsDoNot)
{
    platform::Window window(smallDefinition());
    int pageRuns = 0;
    int articleRuns = 0;
    window.setHandlers({[&] { ++pageRuns; }, {}, [&] { ++articleRuns; }});
    window.show();
    for (int i = 1; i <= 3; ++i) {
        window.port().addItem(Control::PageList, std::to_string(i), i);
        window.port().addItem(Control::ArticleList, gbk("豬") + std::to_string(i), i);
    }
    window.port().setSelectionIndex(Control::PageList, 1);
    window.port().setSelectionIndex(Control::ArticleList, 2);
    platform::Application::processEvents();
    EXPECT_EQ(pageRuns, 0);
    EXPECT_EQ(articleRuns, 0);

    userSelects(window, Control::PageList, 2);
    EXPECT_EQ(pageRuns, 1);
    EXPECT_EQ(window.port().selectionIndex(Control::PageList), 2);
    userSelects(window, Control::PageList, 2); // the same item again
    EXPECT_EQ(pageRuns, 2);
    userSelects(window, Control::ArticleList, 0);
    userSelects(window, Control::ArticleList, 0);
    EXPECT_EQ(articleRuns, 2);
    EXPECT_EQ(window.port().selectionIndex(Control::ArticleList), 0);

    window.port().setDisabled(Control::PageList, true);
    userSelects(window, Control::PageList, 0);
    EXPECT_EQ(pageRuns, 2);
}

TEST_F(QtWindow, ChangesFromAWorkerThreadReachTheWidgets)
{
    platform::Window window(smallDefinition());
    window.show();
    std::thread worker([&] {
        window.port().replaceText(gbk("第一行\r\n"));
        window.port().appendText(gbk("第二行"));
        window.port().setDisabled(Control::PageList, true);
        // A read-back on the worker's thread sees its own writes at once.
        EXPECT_EQ(window.port().text(), gbk("第一行\r\n第二行"));
    });
    worker.join();
    platform::Application::processEvents();
    const testing_support::ControlView box = view(window, "box");
    EXPECT_EQ(box.text, "第一行\n第二行");
    EXPECT_TRUE(box.readOnly);
    EXPECT_FALSE(view(window, "list").enabled);
    const testing_support::ControlView checks = view(window, "checks");
    EXPECT_EQ(checks.kind, ControlKind::CheckListBox);
}

TEST_F(QtWindow, CheckListItemsHaveCheckBoxesAndLabelsShowTheirCaption)
{
    platform::Window window(smallDefinition());
    window.port().addItem(Control::ArticleList, gbk("條目"), 1);
    const testing_support::ControlView checks = view(window, "checks");
    ASSERT_EQ(checks.items.size(), 1u);
    EXPECT_EQ(checks.items[0], "條目");
    EXPECT_TRUE(checks.itemCheckable[0]);
    EXPECT_EQ(view(window, "label").caption, "頁");
    EXPECT_EQ(view(window, "label").fontPixelSize, 20);
    EXPECT_EQ(view(window, "label").fontFamily, "楷体");
    EXPECT_FALSE(view(window, "nothing").found);
}
