// Looking at the real window and acting on it as a user would: what a control shows, and a user's choice.
#pragma once

#include "platform/window.h"

#include <string>
#include <vector>

namespace testing_support {

/// What a control shows, read back from the toolkit.
struct ControlView {
    bool found = false;
    platform::ControlKind kind = platform::ControlKind::Label;
    int left = 0, top = 0, width = 0, height = 0;
    std::string caption;                 ///< UTF-8, labels only
    std::vector<std::string> items;      ///< UTF-8 item texts as shown
    std::vector<bool> itemCheckable;     ///< the item shows a check box
    std::vector<bool> itemChecked;
    std::vector<bool> itemUserCheckable; ///< a click changes the check box
    int selection = -1;
    bool enabled = true;
    bool readOnly = false;
    std::string text;                    ///< UTF-8, text box only
    std::string fontFamily;
    int fontPixelSize = 0;
};

/// What the control with this object name shows now (after pending changes are applied).
ControlView view(platform::Window& window, const std::string& name);

/// Acts as the user choosing the item at `index` in a list: the same path as a mouse or keyboard choice.
void userSelects(platform::Window& window, platform::Control list, int index);

/// Turns the mouse wheel `notches` steps (up when positive) over the control with this object name, holding Ctrl
/// when `withControl`.
void userWheels(platform::Window& window, const std::string& name, int notches, bool withControl);

/// Triggers the window's action named `text` (UTF-8), as its shortcut or its menu entry does.
void userTriggers(platform::Window& window, const std::string& text);

/// Types `text` into the line field with this object name (in the window or one of its dialogs) and presses Enter.
void userEnters(platform::Window& window, const std::string& name, const std::string& text);

/// Activates (Enter, or a double click) the item at `row` of the list with this object name.
void userActivates(platform::Window& window, const std::string& name, int row);

/// Whether the dialog with this object name is open.
bool dialogOpen(platform::Window& window, const std::string& name);

/// Whether the user can change the window's size.
bool isResizable(platform::Window& window);

} // namespace testing_support
