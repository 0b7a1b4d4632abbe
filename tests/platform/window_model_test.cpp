// WindowModel: reads see writes from any thread; appends are one step.
#include "platform/window_model.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

using platform::Control;

TEST(WindowModel, ItemsSelectionAndRangeChecks)
{
    platform::WindowModel model;
    model.addItem(Control::PageList, "1", 1);
    model.addItem(Control::PageList, "2", 2);
    EXPECT_EQ(model.itemCount(Control::PageList), 2);
    EXPECT_EQ(model.itemData(Control::PageList, 1), 2);
    EXPECT_EQ(model.itemData(Control::PageList, 2), 0);
    EXPECT_EQ(model.itemData(Control::PageList, -1), 0);
    EXPECT_EQ(model.itemText(Control::PageList, 5), "");
    model.setSelectionIndex(Control::PageList, 1);
    EXPECT_EQ(model.selectionIndex(Control::PageList), 1);
    model.setSelectionIndex(Control::PageList, 7);
    EXPECT_EQ(model.selectionIndex(Control::PageList), -1);
    model.clearItems(Control::PageList);
    EXPECT_EQ(model.itemCount(Control::PageList), 0);
}

TEST(WindowModel, AppendsFromManyThreadsAreNeverLost)
{
    platform::WindowModel model;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 500; ++i)
                model.appendText("x");
        });
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(model.text().size(), 2000u);
}
