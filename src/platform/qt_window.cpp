// The window over Qt Widgets. Worker threads never touch a widget: they change the WindowModel, which posts one
// coalesced update per control to the window's thread.
#include "platform/window.h"

#include "platform/gbk_codec.h"
#include "platform/window_model.h"

#include <QApplication>
#include <QComboBox>
#include <QFont>
#include <QLabel>
#include <QIcon>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPointer>
#include <QShortcut>
#include <QStringList>
#include <QWidget>

#include <atomic>
#include <map>

namespace platform {
namespace {

QString fromGbk(const Text& text)
{
    return QString::fromStdString(gbk::toUtf8(text));
}

// The text box shows line breaks as lines; the model keeps the CR LF bytes it was given.
QString displayText(const Text& text)
{
    QString shown = fromGbk(text);
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return shown;
}

QFont controlFont()
{
    QFont font;
    // "楷体" first; on systems without it, an installed Kai-style font of the same design.
    font.setFamilies({QStringLiteral("楷体"), QStringLiteral("KaiTi"), QStringLiteral("AR PL UKai CN"),
                      QStringLiteral("AR PL UKai TW"), QStringLiteral("AR PL UKai HK"),
                      QStringLiteral("AR PL UKai TW MBE"), QStringLiteral("STKaiti")});
    font.setPixelSize(20);
    font.setWeight(QFont::Normal);
    return font;
}

} // namespace

// ---- Application ----

Application::Application(int& argc, char** argv)
{
    new QApplication(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Varnholt"));
    // The menu entry's name ties the window to its icon and entry on the desktop; the icon comes from the theme
    // where the program is installed, else from the copy built into it.
    QGuiApplication::setDesktopFileName(QStringLiteral("varnholt"));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("varnholt"), QIcon(QStringLiteral(":/varnholt.svg"))));
}

Application::~Application()
{
    delete QCoreApplication::instance();
}

int Application::exec()
{
    return QApplication::exec();
}

void Application::processEvents()
{
    QCoreApplication::processEvents();
}

// ---- Window ----

struct Window::Impl : WindowModel {
    QWidget widget;
    std::map<Control, QWidget*> roles;
    WindowHandlers handlers;
    std::array<std::atomic<bool>, ControlCount> pending{};
    std::array<std::uint64_t, ControlCount> shownVersion{};
    int suppressClickRow = -1;

    void changed(Control control) override
    {
        // One queued update per control at a time: a thousand added items cost one rebuild.
        if (pending[static_cast<std::size_t>(control)].exchange(true))
            return;
        QPointer<QWidget> guard(&widget);
        QMetaObject::invokeMethod(
            &widget,
            [this, guard, control] {
                if (guard)
                    apply(control);
            },
            Qt::QueuedConnection);
    }

    void captionChanged() override
    {
        QPointer<QWidget> guard(&widget);
        QMetaObject::invokeMethod(
            &widget,
            [this, guard] {
                if (guard)
                    widget.setWindowTitle(fromGbk(caption()));
            },
            Qt::QueuedConnection);
    }

    void apply(Control control)
    {
        pending[static_cast<std::size_t>(control)].store(false);
        QWidget* target = roles.count(control) ? roles[control] : nullptr;
        if (!target)
            return;
        if (control == Control::TextBox) {
            auto* box = static_cast<QPlainTextEdit*>(target);
            const QString shown = displayText(text());
            if (box->toPlainText() != shown)
                box->setPlainText(shown);
            box->setDisabled(isDisabled(control));
            return;
        }
        const ControlState state = controlState(control);
        const QSignalBlocker blocker(target);
        const bool rebuild = shownVersion[static_cast<std::size_t>(control)] != state.itemsVersion;
        shownVersion[static_cast<std::size_t>(control)] = state.itemsVersion;
        if (auto* combo = qobject_cast<QComboBox*>(target)) {
            if (rebuild) {
                combo->clear();
                for (const Item& item : state.items)
                    combo->addItem(fromGbk(item.text), item.data);
            }
            combo->setCurrentIndex(state.selection);
        } else if (auto* list = qobject_cast<QListWidget*>(target)) {
            if (rebuild) {
                list->clear();
                for (const Item& item : state.items) {
                    auto* entry = new QListWidgetItem(fromGbk(item.text), list);
                    entry->setData(Qt::UserRole, item.data);
                    // A check box the user cannot change: it shows whether the article is stored.
                    entry->setFlags(entry->flags() & ~Qt::ItemIsUserCheckable);
                }
            }
            for (int row = 0; row < list->count() && row < static_cast<int>(state.items.size()); ++row) {
                const Item& item = state.items[static_cast<std::size_t>(row)];
                QListWidgetItem* shown = list->item(row);
                shown->setCheckState(item.checked ? Qt::Checked : Qt::Unchecked);
                if (shown->font().bold() != item.emphasized) {
                    QFont font = shown->font();
                    font.setBold(item.emphasized);
                    shown->setFont(font);
                }
            }
            list->setCurrentRow(state.selection);
            if (state.selection < 0)
                list->clearSelection();
        }
        target->setDisabled(state.disabled);
    }

    void applyAll()
    {
        for (int c = 0; c < ControlCount; ++c)
            apply(static_cast<Control>(c));
    }

    const std::function<void()>* handlerOf(Control list) const
    {
        switch (list) {
        case Control::PageList: return &handlers.pageSelected;
        case Control::EntryList: return &handlers.entrySelected;
        case Control::ArticleList: return &handlers.articleSelected;
        default: return nullptr;
        }
    }

    void userChose(Control list, int index)
    {
        if (isDisabled(list))
            return;
        recordUserSelection(list, index);
        if (const std::function<void()>* handler = handlerOf(list); handler && *handler)
            (*handler)();
    }

    void build(const WindowDefinition& definition)
    {
        widget.setGeometry(definition.left, definition.top, definition.width, definition.height);
        // The controls have fixed places and sizes: a larger window would only show empty space.
        widget.setFixedSize(definition.width, definition.height);
        // The platform's quit keys (Ctrl+Q) close the window, as in every desktop program.
        auto* quit = new QShortcut(QKeySequence::Quit, &widget);
        quit->setContext(Qt::WindowShortcut);
        QObject::connect(quit, &QShortcut::activated, &widget, [this] { widget.close(); });
        const QFont font = controlFont();
        for (const ControlDefinition& control : definition.controls) {
            QWidget* created = nullptr;
            switch (control.kind) {
            case ControlKind::Label:
                created = new QLabel(fromGbk(control.caption), &widget);
                break;
            case ControlKind::DropDownList: {
                auto* combo = new QComboBox(&widget);
                combo->setEditable(false);
                created = combo;
                break;
            }
            case ControlKind::CheckListBox:
                created = new QListWidget(&widget);
                break;
            case ControlKind::TextBox: {
                auto* box = new QPlainTextEdit(&widget);
                box->setReadOnly(true);
                box->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
                box->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
                box->setLineWrapMode(QPlainTextEdit::WidgetWidth);
                created = box;
                break;
            }
            }
            created->setObjectName(QString::fromStdString(control.name));
            created->setGeometry(control.left, control.top, control.width, control.height);
            created->setFont(font);
            if (control.role) {
                roles[*control.role] = created;
                created->setProperty("role", static_cast<int>(*control.role));
            }
            connectSignals(control, created);
        }
    }

    void connectSignals(const ControlDefinition& control, QWidget* created)
    {
        if (!control.role)
            return;
        const Control role = *control.role;
        if (auto* combo = qobject_cast<QComboBox*>(created)) {
            // `activated` comes from the user only (mouse or keyboard), also for the item already chosen.
            QObject::connect(combo, &QComboBox::activated, &widget, [this, role](int index) { userChose(role, index); });
        } else if (auto* list = qobject_cast<QListWidget*>(created)) {
            // A click on a new row changes the current row on press and reports the click on release: handle it
            // once. A click on the row already current only reports the click. Arrow keys change the row only.
            QObject::connect(list, &QListWidget::currentRowChanged, &widget, [this, role](int row) {
                if (row < 0)
                    return;
                suppressClickRow = QApplication::mouseButtons() != Qt::NoButton ? row : -1;
                userChose(role, row);
            });
            QObject::connect(list, &QListWidget::itemClicked, &widget, [this, role, list](QListWidgetItem* item) {
                const int row = list->row(item);
                if (row == suppressClickRow) {
                    suppressClickRow = -1;
                    return;
                }
                userChose(role, row);
            });
        }
    }
};

Window::Window(const WindowDefinition& definition) : impl(std::make_unique<Impl>())
{
    impl->build(definition);
}

Window::~Window() = default;

WindowPort& Window::port()
{
    return *impl;
}

void Window::setHandlers(WindowHandlers handlers)
{
    impl->handlers = std::move(handlers);
}

void Window::show()
{
    impl->widget.show();
}

void Window::close()
{
    impl->widget.close();
}

bool Window::isVisible() const
{
    return impl->widget.isVisible();
}

int Window::left() const { return impl->widget.geometry().left(); }
int Window::top() const { return impl->widget.geometry().top(); }
int Window::width() const { return impl->widget.width(); }
int Window::height() const { return impl->widget.height(); }

std::string Window::caption() const
{
    QCoreApplication::processEvents();
    return impl->widget.windowTitle().toStdString();
}

void Window::applyPendingChanges()
{
    impl->applyAll();
}

QWidget* Window::widget()
{
    return &impl->widget;
}

bool hasDisplay()
{
#if defined(_WIN32) || defined(__APPLE__)
    return true;
#else
    const auto set = [](const char* name) { return !qEnvironmentVariableIsEmpty(name); };
    return set("DISPLAY") || set("WAYLAND_DISPLAY") || set("QT_QPA_PLATFORM");
#endif
}

} // namespace platform
