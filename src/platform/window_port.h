// WindowPort: the window's controls as the program sees them, callable from any thread.
#pragma once

#include "platform/text.h"

#include <array>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace platform {

/// The controls that the program reads or changes. Labels never change and have no entry here.
enum class Control { TopicList, PageList, EntryList, ArticleList, TextBox };
constexpr int ControlCount = 5;

/// Operations on the window. Every call may come from any thread; calls made by one thread take effect in the
/// order made, and a read made after a write sees that write. Indexes are 0-based; -1 means no selection.
class WindowPort {
public:
    virtual ~WindowPort() = default;

    virtual void setCaption(const Text& caption) = 0;
    virtual void clearItems(Control list) = 0;
    virtual void addItem(Control list, const Text& text, int data) = 0;
    virtual int itemCount(Control list) const = 0;
    /// The item data at `index`, or 0 when there is no such item.
    virtual int itemData(Control list, int index) const = 0;
    /// The item text at `index`, or the empty text when there is no such item.
    virtual Text itemText(Control list, int index) const = 0;
    virtual int selectionIndex(Control list) const = 0;
    /// Selects the item at `index` (or none for an index without item). Runs no selection handler.
    virtual void setSelectionIndex(Control list, int index) = 0;
    virtual void setDisabled(Control control, bool disabled) = 0;
    virtual bool isDisabled(Control control) const = 0;
    /// Sets the check mark of the check-list box item at `index` (nothing for an index without item). The mark is
    /// the program's to set: a click does not change it.
    virtual void setItemChecked(Control list, int index, bool checked) = 0;
    virtual bool isItemChecked(Control list, int index) const = 0;
    /// The text box's whole content.
    virtual Text text() const = 0;
    virtual void replaceText(const Text& text) = 0;
    /// Replaces the text box's content with `text` if `stillWanted()`, asked in one step with the replacement, so
    /// that no other replacement comes in between. Returns whether it replaced. For results that a later request
    /// may have overtaken.
    virtual bool replaceTextIf(const Text& text, const std::function<bool()>& stillWanted) = 0;
    /// Reads, appends and writes back as one step: no other write comes in between.
    virtual void appendText(const Text& text) = 0;
};

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
    Text text() const override;
    void replaceText(const Text& text) override;
    bool replaceTextIf(const Text& text, const std::function<bool()>& stillWanted) override;
    void appendText(const Text& text) override;

    Text caption() const;

    struct Item {
        Text text;
        int data = 0;
        bool checked = false;
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

    mutable std::mutex mutex;
    std::array<ControlState, ControlCount> controls;
    Text content;
    Text windowCaption;
};

/// Lets the window process its pending events once. Does nothing off the window's thread or without a window.
void letWindowProcessEvents();

} // namespace platform
