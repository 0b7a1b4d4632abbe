// The window over Qt Widgets. Worker threads never touch a widget: they change the WindowModel, which posts one
// coalesced update per control to the window's thread.
#include "platform/window.h"

#include "platform/gbk_codec.h"
#include "platform/window_model.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QFont>
#include <QLabel>
#include <QLineEdit>
#include <QIcon>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QScreen>
#include <QShortcut>
#include <QStringList>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <QWidget>

#include <algorithm>
#include <atomic>
#include <functional>
#include <map>
#include <optional>
#include <utility>
#include <vector>

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

constexpr int DefaultTextPixels = 20;
constexpr int SmallestTextPixels = 10;
constexpr int LargestTextPixels = 60;
// No control that grows is made smaller than this by a small window.
constexpr int SmallestSide = 120;

QFont controlFont()
{
    QFont font;
    // "楷体" first; on systems without it, an installed Kai-style font of the same design, then any CJK face.
    font.setFamilies({QStringLiteral("楷体"), QStringLiteral("KaiTi"), QStringLiteral("AR PL UKai CN"),
                      QStringLiteral("AR PL UKai TW"), QStringLiteral("AR PL UKai HK"),
                      QStringLiteral("AR PL UKai TW MBE"), QStringLiteral("STKaiti"), QStringLiteral("Noto Sans CJK SC"),
                      QStringLiteral("Noto Serif CJK SC"), QStringLiteral("WenQuanYi Zen Hei"),
                      QStringLiteral("Microsoft YaHei"), QStringLiteral("SimSun")});
    font.setPixelSize(DefaultTextPixels);
    font.setWeight(QFont::Normal);
    return font;
}

// Calls `handle` with the events of the objects it watches; true from it consumes the event.
class EventWatcher : public QObject {
public:
    explicit EventWatcher(std::function<bool(QObject*, QEvent*)> handle) : handle(std::move(handle)) {}
    bool eventFilter(QObject* watched, QEvent* event) override { return handle(watched, event); }

private:
    std::function<bool(QObject*, QEvent*)> handle;
};

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
    WindowDefinition definition;                                   // the places a window of the defined size has
    std::vector<std::pair<QWidget*, ControlDefinition>> placed;     // each control with its definition
    int textPixels = DefaultTextPixels;
    EventWatcher* watcher = nullptr;
    WindowServices services;
    QDialog* searchDialog = nullptr;
    QDialog* siteDialog = nullptr;

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
                    // A title too long for the list ends in an ellipsis; the whole title shows on hovering.
                    entry->setToolTip(entry->text());
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

    void build(const WindowDefinition& defined)
    {
        definition = defined;
        widget.setGeometry(definition.left, definition.top, definition.width, definition.height);
        // The smallest window still gives every growing control its smallest side.
        std::optional<int> narrower, lower;
        for (const ControlDefinition& control : definition.controls) {
            if (control.growsWide)
                narrower = std::min(narrower.value_or(control.width), control.width - SmallestSide);
            if (control.growsTall)
                lower = std::min(lower.value_or(control.height), control.height - SmallestSide);
        }
        widget.setMinimumSize(definition.width - std::max(0, narrower.value_or(0)),
                              definition.height - std::max(0, lower.value_or(0)));
        watcher = new EventWatcher([this](QObject* watched, QEvent* event) { return watch(watched, event); });
        watcher->setParent(&widget);
        widget.installEventFilter(watcher);
        // The platform's quit keys (Ctrl+Q) close the window, as in every desktop program.
        auto* quit = new QShortcut(QKeySequence::Quit, &widget);
        quit->setContext(Qt::WindowShortcut);
        QObject::connect(quit, &QShortcut::activated, &widget, [this] { widget.close(); });
        const auto shortcut = [this](const QKeySequence& keys, std::function<void()> act) {
            auto* made = new QShortcut(keys, &widget);
            made->setContext(Qt::WindowShortcut);
            QObject::connect(made, &QShortcut::activated, &widget, std::move(act));
        };
        shortcut(QKeySequence::ZoomIn, [this] { setTextPixels(textPixels + 2); });
        shortcut(QKeySequence(Qt::CTRL | Qt::Key_Equal), [this] { setTextPixels(textPixels + 2); });
        shortcut(QKeySequence::ZoomOut, [this] { setTextPixels(textPixels - 2); });
        shortcut(QKeySequence(Qt::CTRL | Qt::Key_0), [this] { setTextPixels(DefaultTextPixels); });
        // The next and the previous article, without the mouse.
        shortcut(QKeySequence(Qt::ALT | Qt::Key_Down), [this] { moveArticle(1); });
        shortcut(QKeySequence(Qt::ALT | Qt::Key_Up), [this] { moveArticle(-1); });
        // Search, export and the site: by their keys anywhere in the window, and from the article list's menu.
        actions = {action(QStringLiteral("搜索本機文章…"), QKeySequence::Find, [this] { openSearch(); }),
                   action(QStringLiteral("匯出本機文章…"), QKeySequence(Qt::CTRL | Qt::Key_E), [this] { chooseExport(); }),
                   action(QStringLiteral("設定網站…"), QKeySequence(Qt::CTRL | Qt::Key_Comma), [this] { openSiteDialog(); })};
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
            case ControlKind::CheckListBox: {
                auto* list = new QListWidget(&widget);
                list->setTextElideMode(Qt::ElideRight);
                list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
                list->setContextMenuPolicy(Qt::ActionsContextMenu);
                list->addActions(actions);
                created = list;
                break;
            }
            case ControlKind::TextBox: {
                auto* box = new QPlainTextEdit(&widget);
                box->setReadOnly(true);
                box->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
                box->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
                box->setLineWrapMode(QPlainTextEdit::WidgetWidth);
                box->viewport()->installEventFilter(watcher);
                created = box;
                break;
            }
            }
            created->setObjectName(QString::fromStdString(control.name));
            created->setGeometry(control.left, control.top, control.width, control.height);
            created->setFont(font);
            placed.emplace_back(created, control);
            if (control.role) {
                roles[*control.role] = created;
                created->setProperty("role", static_cast<int>(*control.role));
            }
            connectSignals(control, created);
        }
        // Tab follows the screen: the topic, the page, the entry, the article list, the text box.
        QWidget* previous = nullptr;
        for (const Control role : {Control::TopicList, Control::PageList, Control::EntryList, Control::ArticleList,
                                   Control::TextBox}) {
            QWidget* next = roles.count(role) ? roles[role] : nullptr;
            if (previous && next)
                QWidget::setTabOrder(previous, next);
            previous = next ? next : previous;
        }
    }

    QList<QAction*> actions;

    QAction* action(const QString& text, const QKeySequence& keys, std::function<void()> act)
    {
        auto* made = new QAction(text, &widget);
        made->setShortcut(keys);
        made->setShortcutContext(Qt::WindowShortcut);
        QObject::connect(made, &QAction::triggered, &widget, std::move(act));
        widget.addAction(made);
        return made;
    }

    // The search dialog: words in a field, the stored articles that hold them all below; choosing one shows it.
    void openSearch()
    {
        if (!searchDialog) {
            searchDialog = new QDialog(&widget);
            searchDialog->setObjectName(QStringLiteral("搜索"));
            searchDialog->setWindowTitle(QStringLiteral("搜索本機文章"));
            auto* words = new QLineEdit(searchDialog);
            words->setObjectName(QStringLiteral("搜索詞"));
            words->setPlaceholderText(QStringLiteral("詞語，以空格分開；简体、繁體皆可"));
            auto* status = new QLabel(searchDialog);
            status->setObjectName(QStringLiteral("搜索結果數"));
            auto* hits = new QListWidget(searchDialog);
            hits->setObjectName(QStringLiteral("搜索結果"));
            hits->setTextElideMode(Qt::ElideRight);
            auto* layout = new QVBoxLayout(searchDialog);
            layout->addWidget(words);
            layout->addWidget(status);
            layout->addWidget(hits);
            searchDialog->resize(480, 420);
            QObject::connect(words, &QLineEdit::returnPressed, searchDialog, [this, words, status, hits] {
                hits->clear();
                const std::vector<FoundArticle> found =
                    services.search ? services.search(words->text().toStdString()) : std::vector<FoundArticle>();
                for (const FoundArticle& article : found) {
                    auto* item = new QListWidgetItem(QString::fromStdString(article.line), hits);
                    item->setData(Qt::UserRole, QString::fromStdString(article.key));
                    item->setToolTip(item->text());
                }
                status->setText(found.empty() ? QStringLiteral("沒有找到") : QStringLiteral("找到 %1 篇").arg(found.size()));
            });
            const auto open = [this](QListWidgetItem* item) {
                if (item && services.openFound)
                    services.openFound(item->data(Qt::UserRole).toString().toStdString());
            };
            QObject::connect(hits, &QListWidget::itemActivated, searchDialog, open);
            QObject::connect(hits, &QListWidget::itemClicked, searchDialog, open);
        }
        searchDialog->show();
        searchDialog->raise();
        searchDialog->findChild<QLineEdit*>(QStringLiteral("搜索詞"))->setFocus();
    }

    // The export: the desktop's file dialog for the place, then the book or the text files written there.
    void chooseExport()
    {
        const QString book = QStringLiteral("EPUB 電子書 (*.epub)");
        const QString text = QStringLiteral("UTF-8 文字檔，寫入此名稱的資料夾 (*)");
        QString chosenFilter = book;
        const QString path = QFileDialog::getSaveFileName(
            &widget, QStringLiteral("匯出本機文章"),
            QDir::home().filePath(QStringLiteral("母豬養殖技術.epub")), book + QStringLiteral(";;") + text,
            &chosenFilter);
        if (path.isEmpty())
            return;
        const std::string said = exportChosen(path.toStdString(), chosenFilter == book);
        QMessageBox::information(&widget, QStringLiteral("匯出本機文章"), QString::fromStdString(said));
    }

    std::string exportChosen(const std::string& path, bool epub)
    {
        return services.exportTo ? services.exportTo(path, epub) : std::string();
    }

    // The site dialog: an address (a category address copied from a browser will do), checked before it is kept.
    void openSiteDialog()
    {
        if (!siteDialog) {
            siteDialog = new QDialog(&widget);
            siteDialog->setObjectName(QStringLiteral("網站"));
            siteDialog->setWindowTitle(QStringLiteral("設定網站"));
            auto* prompt = new QLabel(QStringLiteral("網站地址（可貼上瀏覽器中的欄目地址）："), siteDialog);
            auto* address = new QLineEdit(siteDialog);
            address->setObjectName(QStringLiteral("網站地址"));
            auto* status = new QLabel(siteDialog);
            status->setObjectName(QStringLiteral("網站狀態"));
            status->setWordWrap(true);
            auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, siteDialog);
            auto* layout = new QVBoxLayout(siteDialog);
            layout->addWidget(prompt);
            layout->addWidget(address);
            layout->addWidget(status);
            layout->addWidget(buttons);
            siteDialog->resize(460, 160);
            const auto keep = [this, address, status] {
                status->setText(QStringLiteral("正在檢查…"));
                const std::string why = services.setSite ? services.setSite(address->text().toStdString()) : "";
                if (why.empty())
                    siteDialog->hide();
                else
                    status->setText(QString::fromStdString(why));
            };
            QObject::connect(address, &QLineEdit::returnPressed, siteDialog, keep);
            QObject::connect(buttons, &QDialogButtonBox::accepted, siteDialog, keep);
            QObject::connect(buttons, &QDialogButtonBox::rejected, siteDialog, &QDialog::hide);
        }
        siteDialog->show();
        siteDialog->raise();
    }

    bool watch(QObject* watched, QEvent* event)
    {
        if (watched == &widget && event->type() == QEvent::Resize) {
            place();
            return false;
        }
        if (event->type() == QEvent::Wheel) {
            auto* wheel = static_cast<QWheelEvent*>(event);
            if (wheel->modifiers() & Qt::ControlModifier) {
                if (wheel->angleDelta().y() != 0)
                    setTextPixels(textPixels + (wheel->angleDelta().y() > 0 ? 2 : -2));
                return true;
            }
        }
        return false;
    }

    // Every control at its defined place; those that grow take what the window is larger (or smaller) than defined.
    void place()
    {
        const int wider = widget.width() - definition.width;
        const int taller = widget.height() - definition.height;
        for (const auto& [created, control] : placed) {
            const int width = control.growsWide ? std::max(SmallestSide, control.width + wider) : control.width;
            const int height = control.growsTall ? std::max(SmallestSide, control.height + taller) : control.height;
            created->setGeometry(control.left, control.top, width, height);
        }
    }

    void setTextPixels(int pixels)
    {
        textPixels = std::clamp(pixels, SmallestTextPixels, LargestTextPixels);
        if (QWidget* box = roles.count(Control::TextBox) ? roles[Control::TextBox] : nullptr) {
            QFont font = box->font();
            font.setPixelSize(textPixels);
            box->setFont(font);
        }
    }

    void moveArticle(int step)
    {
        auto* list = qobject_cast<QListWidget*>(roles.count(Control::ArticleList) ? roles[Control::ArticleList] : nullptr);
        if (!list || !list->isEnabled() || list->count() == 0)
            return;
        const int row = std::clamp(list->currentRow() + step, 0, list->count() - 1);
        if (row != list->currentRow())
            list->setCurrentRow(row); // reported as the user's choice, as an arrow key is
    }

    // The window within the screen's free area, never smaller than its smallest size. The offscreen platform has no
    // screen to fit.
    void fitScreen()
    {
        if (QGuiApplication::platformName() == QStringLiteral("offscreen"))
            return;
        const QScreen* screen = widget.screen();
        if (!screen)
            return;
        const QRect room = screen->availableGeometry();
        // Before the window is first shown it has no frame yet: room is left for a title bar and borders.
        QSize frame = widget.frameGeometry().size() - widget.size();
        if (frame.isNull())
            frame = QSize(8, 40);
        const int width = std::max(widget.minimumWidth(), std::min(widget.width(), room.width() - frame.width()));
        const int height = std::max(widget.minimumHeight(), std::min(widget.height(), room.height() - frame.height()));
        const int left = std::clamp(widget.x(), room.left(), std::max(room.left(), room.right() - width - frame.width()));
        const int top = std::clamp(widget.y(), room.top(), std::max(room.top(), room.bottom() - height - frame.height()));
        widget.setGeometry(left, top, width, height);
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
    impl->fitScreen();
    impl->widget.show();
}

void Window::setServices(WindowServices services)
{
    impl->services = std::move(services);
}

void Window::askForSite()
{
    impl->openSiteDialog();
}

std::string Window::exportChosen(const std::string& path, bool epub)
{
    return impl->exportChosen(path, epub);
}

void Window::setPlace(int left, int top, int width, int height)
{
    impl->widget.setGeometry(left, top, std::max(width, impl->widget.minimumWidth()),
                             std::max(height, impl->widget.minimumHeight()));
    impl->fitScreen();
}

int Window::textSize() const
{
    return impl->textPixels;
}

void Window::setTextSize(int pixels)
{
    impl->setTextPixels(pixels);
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
