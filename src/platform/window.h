// The application and its one window, described by data and shown by the window toolkit.
#pragma once

#include "platform/text.h"
#include "platform/window_port.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform {

enum class ControlKind { Label, DropDownList, CheckListBox, TextBox };

/// One control of the window definition. Geometry is in pixels relative to the client area.
struct ControlDefinition {
    std::string name;             ///< the object name, UTF-8
    ControlKind kind = ControlKind::Label;
    int left = 0, top = 0, width = 0, height = 0;
    Text caption;                 ///< labels only, GBK
    std::optional<Control> role;  ///< how the program reaches it; none for labels
};

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

/// What a control shows, read back from the toolkit (for tests and diagnostics).
struct ControlView {
    bool found = false;
    ControlKind kind = ControlKind::Label;
    int left = 0, top = 0, width = 0, height = 0;
    std::string caption;          ///< UTF-8, labels only
    std::vector<std::string> items; ///< UTF-8 item texts as shown
    std::vector<bool> itemCheckable;     ///< the item shows a check box
    std::vector<bool> itemChecked;
    std::vector<bool> itemUserCheckable; ///< a click changes the check box
    int selection = -1;
    bool enabled = true;
    bool readOnly = false;
    std::string text;             ///< UTF-8, text box only
    std::string fontFamily;
    int fontPixelSize = 0;
};

/// The toolkit's application object; one per process, created on the thread that will run the window.
class Application {
public:
    Application(int& argc, char** argv);
    ~Application();
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;
    /// Runs the message loop until the window is closed.
    int exec();
    /// Processes the events that have arrived, so that queued control changes are shown.
    static void processEvents();
};

/// The program's window. Its `port()` may be used from any thread until the window is destroyed.
class Window {
public:
    explicit Window(const WindowDefinition& definition);
    ~Window();
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    WindowPort& port();
    void setHandlers(WindowHandlers handlers);
    void show();
    void close();
    bool isVisible() const;
    /// Whether the user can change the window's size.
    bool isResizable() const;
    int left() const;
    int top() const;
    int width() const;
    int height() const;
    std::string caption() const;

    /// What the control with this object name shows now (after pending changes are applied).
    ControlView view(const std::string& name) const;
    /// Acts as the user choosing the item at `index` in a list: the same path as a mouse or keyboard choice.
    void userSelects(Control list, int index);

private:
    struct Impl;
    std::unique_ptr<Impl> impl;
};

/// Whether a window can be shown: a display is named (DISPLAY, WAYLAND_DISPLAY) or a platform plugin is chosen
/// (QT_QPA_PLATFORM). Always true where windows need no display server.
bool hasDisplay();

} // namespace platform
