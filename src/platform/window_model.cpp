// WindowModel: the thread-safe state behind the window.
#include "platform/window_model.h"

namespace platform {

void WindowModel::setCaption(const Text& caption)
{
    {
        std::lock_guard lock(mutex);
        windowCaption = caption;
    }
    captionChanged();
}

Text WindowModel::caption() const
{
    std::lock_guard lock(mutex);
    return windowCaption;
}

void WindowModel::clearItems(Control list)
{
    {
        std::lock_guard lock(mutex);
        ControlState& state = controls[slot(list)];
        state.items.clear();
        state.selection = -1;
        ++state.itemsVersion;
    }
    changed(list);
}

void WindowModel::addItem(Control list, const Text& text, int data)
{
    {
        std::lock_guard lock(mutex);
        ControlState& state = controls[slot(list)];
        state.items.push_back({text, data});
        ++state.itemsVersion;
    }
    changed(list);
}

int WindowModel::itemCount(Control list) const
{
    std::lock_guard lock(mutex);
    return static_cast<int>(controls[slot(list)].items.size());
}

int WindowModel::itemData(Control list, int index) const
{
    std::lock_guard lock(mutex);
    const auto& items = controls[slot(list)].items;
    if (index < 0 || index >= static_cast<int>(items.size()))
        return 0;
    return items[static_cast<std::size_t>(index)].data;
}

Text WindowModel::itemText(Control list, int index) const
{
    std::lock_guard lock(mutex);
    const auto& items = controls[slot(list)].items;
    if (index < 0 || index >= static_cast<int>(items.size()))
        return {};
    return items[static_cast<std::size_t>(index)].text;
}

int WindowModel::selectionIndex(Control list) const
{
    std::lock_guard lock(mutex);
    return controls[slot(list)].selection;
}

void WindowModel::setSelectionIndex(Control list, int index)
{
    recordUserSelection(list, index);
    changed(list);
}

void WindowModel::recordUserSelection(Control list, int index)
{
    std::lock_guard lock(mutex);
    ControlState& state = controls[slot(list)];
    state.selection = index >= 0 && index < static_cast<int>(state.items.size()) ? index : -1;
}

void WindowModel::setDisabled(Control control, bool disabled)
{
    {
        std::lock_guard lock(mutex);
        controls[slot(control)].disabled = disabled;
    }
    changed(control);
}

bool WindowModel::isDisabled(Control control) const
{
    std::lock_guard lock(mutex);
    return controls[slot(control)].disabled;
}

void WindowModel::setItemFlag(Control list, int index, bool Item::*flag, bool value)
{
    {
        std::lock_guard lock(mutex);
        auto& items = controls[slot(list)].items;
        if (index < 0 || index >= static_cast<int>(items.size()))
            return;
        items[static_cast<std::size_t>(index)].*flag = value;
    }
    changed(list);
}

bool WindowModel::itemFlag(Control list, int index, bool Item::*flag) const
{
    std::lock_guard lock(mutex);
    const auto& items = controls[slot(list)].items;
    return index >= 0 && index < static_cast<int>(items.size()) && items[static_cast<std::size_t>(index)].*flag;
}

void WindowModel::setItemChecked(Control list, int index, bool checked)
{
    setItemFlag(list, index, &Item::checked, checked);
}

bool WindowModel::isItemChecked(Control list, int index) const
{
    return itemFlag(list, index, &Item::checked);
}

void WindowModel::setItemEmphasized(Control list, int index, bool emphasized)
{
    setItemFlag(list, index, &Item::emphasized, emphasized);
}

bool WindowModel::isItemEmphasized(Control list, int index) const
{
    return itemFlag(list, index, &Item::emphasized);
}

Text WindowModel::text() const
{
    std::lock_guard lock(mutex);
    return content;
}

void WindowModel::replaceText(const Text& text)
{
    {
        std::lock_guard lock(mutex);
        content = text;
    }
    changed(Control::TextBox);
}

bool WindowModel::replaceTextIf(const Text& text, const std::function<bool()>& stillWanted)
{
    {
        std::lock_guard lock(mutex);
        if (!stillWanted())
            return false;
        content = text;
    }
    changed(Control::TextBox);
    return true;
}

void WindowModel::appendText(const Text& text)
{
    {
        std::lock_guard lock(mutex);
        content += text;
    }
    changed(Control::TextBox);
}

WindowModel::ControlState WindowModel::controlState(Control control) const
{
    std::lock_guard lock(mutex);
    return controls[slot(control)];
}

} // namespace platform
