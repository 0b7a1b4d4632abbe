// The window definition as data.
#include "app/window_definition.h"

#include "platform/gbk_codec.h"

const platform::WindowDefinition& windowDefinition()
{
    using platform::Control;
    using platform::ControlKind;
    using platform::gbk::fromUtf8;
    static const platform::WindowDefinition definition{
        50, 50, 694, 610,
        {
            {"标签1條第", ControlKind::Label, 144, 96, 24, 24, fromUtf8("第"), {}},
            {"组合框1條序", ControlKind::DropDownList, 168, 96, 64, 28, {}, Control::EntryList},
            {"标签1條", ControlKind::Label, 232, 96, 24, 24, fromUtf8("條"), {}},
            {"标签1頁", ControlKind::Label, 104, 96, 24, 24, fromUtf8("頁"), {}},
            {"标签1頁第", ControlKind::Label, 16, 96, 24, 24, fromUtf8("第"), {}},
            {"组合框1專題", ControlKind::DropDownList, 72, 56, 184, 28, {}, Control::TopicList},
            {"标签1專題", ControlKind::Label, 16, 56, 64, 24, fromUtf8("專題："), {}},
            {"组合框1頁序", ControlKind::DropDownList, 40, 96, 64, 28, {}, Control::PageList},
            {"标签1標題", ControlKind::Label, 80, 16, 104, 24, fromUtf8("Marrowfen"), {}},
            // A larger window gives the text box its width and height, and the article list its height.
            {"编辑框1", ControlKind::TextBox, 272, 16, 400, 552, {}, Control::TextBox, true, true},
            {"选择列表框1", ControlKind::CheckListBox, 16, 136, 240, 432, {}, Control::ArticleList, false, true},
        }};
    return definition;
}
