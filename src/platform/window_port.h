// WindowPort: the window's controls as the program sees them, callable from any thread; and the window's definition.
#pragma once

#include "platform/text.h"

#include <functional>
#include <optional>
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
    /// Shows the item at `index` in bold (nothing for an index without item): an entry new since the page was last
    /// shown.
    virtual void setItemEmphasized(Control list, int index, bool emphasized) = 0;
    virtual bool isItemEmphasized(Control list, int index) const = 0;
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

enum class ControlKind { Label, DropDownList, CheckListBox, TextBox };

/// One control of the window definition. Geometry is in pixels relative to the client area.
struct ControlDefinition {
    std::string name;             ///< the object name, UTF-8
    ControlKind kind = ControlKind::Label;
    int left = 0, top = 0, width = 0, height = 0;
    Text caption;                 ///< labels only, GBK
    std::optional<Control> role;  ///< how the program reaches it; none for labels
    /// When the window is larger or smaller than defined, the control takes the difference in width, in height.
    bool growsWide = false;
    bool growsTall = false;
};

/// The window's place and size, and its controls in definition order.
struct WindowDefinition {
    int left = 0, top = 0, width = 0, height = 0;
    std::vector<ControlDefinition> controls;
};

/// Selection handlers; each runs on the window's thread for a selection made by the user only.
struct WindowHandlers {
    std::function<void()> pageSelected;
    std::function<void()> entrySelected;
    std::function<void()> articleSelected;
};

/// One article the window's search found: the line it shows (UTF-8) and the key it is opened by.
struct FoundArticle {
    std::string line;
    std::string key;
};

/// What the window's own dialogs ask of the program; each runs on the window's thread. Texts are UTF-8.
struct WindowServices {
    /// The stored articles that hold every word of `query`, best first (Ctrl+F).
    std::function<std::vector<FoundArticle>(const std::string& query)> search;
    /// Shows the found article `key` in the text box.
    std::function<void(const std::string& key)> openFound;
    /// Writes the stored articles to `path`: an EPUB book, or UTF-8 text files in that folder (Ctrl+E). A line
    /// saying what was written, or why nothing was.
    std::function<std::string(const std::string& path, bool epub)> exportTo;
    /// Checks the site's address the reader typed (Ctrl+, or at start when none is set) and keeps it: the empty text
    /// when it is kept, else why not.
    std::function<std::string(const std::string& address)> setSite;
};

} // namespace platform
