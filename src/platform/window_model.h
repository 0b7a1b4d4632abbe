// WindowModel: the thread-safe state behind a window, which a toolkit's window shows and tests read directly.
#pragma once

#include "platform/window_port.h"

#include <array>
#include <cstdint>
#include <mutex>
#include <vector>

namespace platform {

/// The state of every control, guarded by one lock. The Qt window shows it; tests read it directly.
class WindowModel : public WindowPort {
public:
    void setCaption(const Text& caption) override;
    void clearItems(Control list) override;
    void addItem(Control list, const Text& text, int data) override;
    int itemCount(Control list) const override;
    int itemData(Control list, int index) const override;
    Text itemText(Control list, int index) const override;
    int selectionIndex(Control list) const override;
    void setSelectionIndex(Control list, int index) override;
    void setDisabled(Control control, bool disabled) override;
    bool isDisabled(Control control) const override;
    void setItemChecked(Control list, int index, bool checked) override;
    bool isItemChecked(Control list, int index) const override;
    void setItemEmphasized(Control list, int index, bool emphasized) override;
    bool isItemEmphasized(Control list, int index) const override;
    Text text() const override;
    void replaceText(const Text& text) override;
    bool replaceTextIf(const Text& text, const std::function<bool()>& stillWanted) override;
    void appendText(const Text& text) override;

    Text caption() const;

    struct Item {
        Text text;
        int data = 0;
        bool checked = false;
        bool emphasized = false;
    };
    /// A consistent copy of one control's state, with a counter that grows with every change of its items.
    struct ControlState {
        std::vector<Item> items;
        int selection = -1;
        bool disabled = false;
        std::uint64_t itemsVersion = 0;
    };
    ControlState controlState(Control control) const;

protected:
    /// Records a selection the user made in the window, without notifying.
    void recordUserSelection(Control list, int index);
    /// Called after every change of a control, outside the lock, on the thread that made it.
    virtual void changed(Control) {}
    /// Called after the caption changed, likewise.
    virtual void captionChanged() {}

private:
    static std::size_t slot(Control control) { return static_cast<std::size_t>(control); }
    /// Sets one flag of the item at `index`, if there is one.
    void setItemFlag(Control list, int index, bool Item::*flag, bool value);
    bool itemFlag(Control list, int index, bool Item::*flag) const;

    mutable std::mutex mutex;
    std::array<ControlState, ControlCount> controls;
    Text content;
    Text windowCaption;
};

} // namespace platform
