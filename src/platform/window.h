// The application and its one window, described by data and shown by the window toolkit. The only header of the
// window library: nothing below it sees the toolkit.
#pragma once

#include "platform/window_port.h"

#include <memory>
#include <string>

class QWidget;

namespace platform {

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
    /// What the search (Ctrl+F), export (Ctrl+E) and site (Ctrl+,) dialogs call.
    void setServices(WindowServices services);
    /// Opens the dialog that asks for the site's address, as Ctrl+, does.
    void askForSite();
    void show();
    void close();
    bool isVisible() const;
    int left() const;
    int top() const;
    int width() const;
    int height() const;
    std::string caption() const;

    /// Moves and sizes the window (a remembered place): never smaller than its smallest size, and within the
    /// screen. The window opens at its definition's place, made to fit a screen that is smaller; the reader may
    /// make it larger or smaller, and the controls that grow take the difference.
    void setPlace(int left, int top, int width, int height);
    /// The text box's character size in pixels (20 at first). Ctrl+plus, Ctrl+minus, Ctrl+0 and Ctrl+wheel over the
    /// text box change it, between 10 and 60.
    int textSize() const;
    void setTextSize(int pixels);

    /// Shows every change made to the port so far, on the window's thread.
    void applyPendingChanges();
    /// Runs the export as the export dialog does once the reader chose `path`: for tests, which cannot work the
    /// desktop's file dialog. Returns the line the window shows.
    std::string exportChosen(const std::string& path, bool epub);
    /// The toolkit's top-level widget: for tests and probes that look at or act on the window as a user would. Each
    /// control is a child widget with the control's object name; those the program reaches also carry the property
    /// "role", the number of their Control.
    QWidget* widget();

private:
    struct Impl;
    std::unique_ptr<Impl> impl;
};

/// Whether a window can be shown: a display is named (DISPLAY, WAYLAND_DISPLAY) or a platform plugin is chosen
/// (QT_QPA_PLATFORM). Always true where windows need no display server.
bool hasDisplay();

} // namespace platform
