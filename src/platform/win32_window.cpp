// The window over the Win32 controls: drop-down lists, owner-drawn check-list boxes, a read-only multi-line edit
// box and labels, in 楷体 at -20. Worker threads never touch a control: they change the WindowModel, which posts one
// coalesced message per control to the window's thread.
#include "platform/window.h"

#include "platform/gbk_codec.h"
#include "platform/window_model.h"

#include <windows.h>
#include <commctrl.h>
#include <commdlg.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <map>
#include <optional>
#include <utility>
#include <vector>

namespace platform {
namespace {

constexpr int DefaultTextPixels = 20;
constexpr int SmallestTextPixels = 10;
constexpr int LargestTextPixels = 60;
// No control that grows is made smaller than this by a small window.
constexpr int SmallestSide = 120;
constexpr int ItemHeight = 26;
// The search dialog's list of hits; clear of IDOK and IDCANCEL, which its buttons and keys send.
constexpr int SearchHitsId = 100;

constexpr UINT ApplyMessage = WM_APP + 1;   // wParam: the control
constexpr UINT CaptionMessage = WM_APP + 2;

// Commands of the keys and of the dialogs' buttons.
enum Command : WORD {
    CommandSearch = 100,
    CommandExport,
    CommandSite,
    CommandQuit,
    CommandLarger,
    CommandSmaller,
    CommandDefaultSize,
    CommandNextArticle,
    CommandPreviousArticle,
    FirstControlId = 1000,
};

std::wstring wide(const std::string& utf8)
{
    if (utf8.empty())
        return {};
    const int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring result(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), result.data(), length);
    return result;
}

std::string narrow(const std::wstring& text)
{
    if (text.empty())
        return {};
    const int length =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string result(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(), length, nullptr,
                        nullptr);
    return result;
}

std::wstring fromGbk(const Text& text)
{
    return wide(gbk::toUtf8(text));
}

// The edit box breaks lines at CR LF only: a lone LF is made one.
std::wstring displayText(const Text& text)
{
    const std::wstring shown = fromGbk(text);
    std::wstring result;
    result.reserve(shown.size() + shown.size() / 16);
    for (std::size_t i = 0; i < shown.size(); ++i) {
        if (shown[i] == L'\n' && (i == 0 || shown[i - 1] != L'\r'))
            result += L'\r';
        result += shown[i];
    }
    return result;
}

std::wstring windowText(HWND control)
{
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(control)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(control, text.data(), static_cast<int>(text.size()))));
    return text;
}

HFONT makeFont(int pixels, bool bold)
{
    return CreateFontW(-pixels, 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE, GB2312_CHARSET,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, L"楷体");
}

const wchar_t* const WindowClass = L"VarnholtWindow";
const wchar_t* const DialogClass = L"VarnholtDialog";

LRESULT CALLBACK windowProcedure(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK dialogProcedure(HWND, UINT, WPARAM, LPARAM);

HACCEL accelerators()
{
    static HACCEL table = [] {
        ACCEL keys[] = {
            {FVIRTKEY | FCONTROL, 'F', CommandSearch},
            {FVIRTKEY | FCONTROL, 'E', CommandExport},
            {FVIRTKEY | FCONTROL, VK_OEM_COMMA, CommandSite},
            {FVIRTKEY | FCONTROL, 'Q', CommandQuit},
            {FVIRTKEY | FCONTROL, VK_OEM_PLUS, CommandLarger},
            {FVIRTKEY | FCONTROL, VK_ADD, CommandLarger},
            {FVIRTKEY | FCONTROL, VK_OEM_MINUS, CommandSmaller},
            {FVIRTKEY | FCONTROL, VK_SUBTRACT, CommandSmaller},
            {FVIRTKEY | FCONTROL, '0', CommandDefaultSize},
            {FVIRTKEY | FALT, VK_DOWN, CommandNextArticle},
            {FVIRTKEY | FALT, VK_UP, CommandPreviousArticle},
        };
        return CreateAcceleratorTableW(keys, static_cast<int>(std::size(keys)));
    }();
    return table;
}

WNDPROC textBoxProcedure = nullptr;

LRESULT CALLBACK textBoxMessages(HWND box, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_MOUSEWHEEL && (GET_KEYSTATE_WPARAM(wParam) & MK_CONTROL))
        return SendMessageW(GetParent(box), message, wParam, lParam);
    return CallWindowProcW(textBoxProcedure, box, message, wParam, lParam);
}

// What the window procedures pass their messages to.
struct MessageTarget {
    virtual ~MessageTarget() = default;
    virtual LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam) = 0;
    virtual void dialogCommand(HWND dialog, WORD id, WORD code) = 0;
};

MessageTarget* targetOf(HWND window)
{
    return reinterpret_cast<MessageTarget*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

// The open windows of the process, for the message loop's keys and dialog navigation.
HWND mainWindow = nullptr;
std::vector<HWND> dialogs;

} // namespace

// ---- Application ----

Application::Application(int&, char**)
{
    SetProcessDPIAware();
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW main{};
    main.cbSize = sizeof main;
    main.lpfnWndProc = windowProcedure;
    main.hInstance = instance;
    main.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
    if (!main.hIcon)
        main.hIcon = LoadIconW(nullptr, MAKEINTRESOURCEW(32512)); // IDI_APPLICATION
    main.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512)); // IDC_ARROW
    main.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    main.lpszClassName = WindowClass;
    RegisterClassExW(&main);
    WNDCLASSEXW dialog = main;
    dialog.lpfnWndProc = dialogProcedure;
    dialog.lpszClassName = DialogClass;
    RegisterClassExW(&dialog);
}

Application::~Application() = default;

namespace {

// One message: the window's keys first, then Tab and Enter in the dialogs.
void dispatch(MSG& message)
{
    if (mainWindow && (message.hwnd == mainWindow || IsChild(mainWindow, message.hwnd)) &&
        TranslateAcceleratorW(mainWindow, accelerators(), &message))
        return;
    for (HWND dialog : dialogs)
        if (IsDialogMessageW(dialog, &message))
            return;
    TranslateMessage(&message);
    DispatchMessageW(&message);
}

} // namespace

int Application::exec()
{
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0)
        dispatch(message);
    return static_cast<int>(message.wParam);
}

void Application::processEvents()
{
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(message.wParam));
            return;
        }
        dispatch(message);
    }
}

// ---- Window ----

struct Window::Impl : WindowModel, MessageTarget {
    HWND window = nullptr;
    std::map<Control, HWND> roles;
    std::map<HWND, Control> controlOf;
    WindowHandlers handlers;
    WindowServices services;
    std::array<std::atomic<bool>, ControlCount> pending{};
    std::array<std::uint64_t, ControlCount> shownVersion{};
    // What each check-list box shows, for drawing its items.
    std::map<Control, std::vector<Item>> shownItems;
    // The whole title of the list item under the pointer, for titles that end in an ellipsis.
    HWND tooltip = nullptr;
    std::wstring tipText;
    int tipItem = -1;
    WindowDefinition definition;
    std::vector<std::pair<HWND, ControlDefinition>> placed;
    int smallestWidth = 0, smallestHeight = 0;
    int textPixels = DefaultTextPixels;
    HFONT font = makeFont(DefaultTextPixels, false);
    HFONT boldFont = makeFont(DefaultTextPixels, true);
    HFONT textFont = makeFont(DefaultTextPixels, false);
    HWND searchDialog = nullptr, searchWords = nullptr, searchStatus = nullptr, searchHits = nullptr;
    std::vector<std::string> foundKeys;
    HWND siteDialog = nullptr, siteAddress = nullptr, siteStatus = nullptr;

    ~Impl() override
    {
        for (HWND dialog : {searchDialog, siteDialog})
            if (dialog) {
                dialogs.erase(std::remove(dialogs.begin(), dialogs.end(), dialog), dialogs.end());
                DestroyWindow(dialog);
            }
        if (window) {
            SetWindowLongPtrW(window, GWLP_USERDATA, 0);
            DestroyWindow(window);
        }
        if (mainWindow == window)
            mainWindow = nullptr;
        for (HFONT made : {font, boldFont, textFont})
            DeleteObject(made);
    }

    void changed(Control control) override
    {
        // One posted update per control at a time: a thousand added items cost one rebuild.
        if (pending[static_cast<std::size_t>(control)].exchange(true))
            return;
        PostMessageW(window, ApplyMessage, static_cast<WPARAM>(control), 0);
    }

    void captionChanged() override { PostMessageW(window, CaptionMessage, 0, 0); }

    void apply(Control control)
    {
        pending[static_cast<std::size_t>(control)].store(false);
        const auto found = roles.find(control);
        if (found == roles.end())
            return;
        const HWND target = found->second;
        if (control == Control::TextBox) {
            const std::wstring shown = displayText(text());
            if (windowText(target) != shown)
                SetWindowTextW(target, shown.c_str());
            EnableWindow(target, !isDisabled(control));
            return;
        }
        const ControlState state = controlState(control);
        const bool rebuild = shownVersion[static_cast<std::size_t>(control)] != state.itemsVersion;
        shownVersion[static_cast<std::size_t>(control)] = state.itemsVersion;
        const bool combo = control == Control::TopicList || control == Control::PageList;
        if (combo) {
            if (rebuild) {
                SendMessageW(target, CB_RESETCONTENT, 0, 0);
                for (const Item& item : state.items)
                    SendMessageW(target, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(fromGbk(item.text).c_str()));
            }
            SendMessageW(target, CB_SETCURSEL, static_cast<WPARAM>(state.selection), 0);
        } else {
            shownItems[control] = state.items;
            if (rebuild) {
                SendMessageW(target, WM_SETREDRAW, FALSE, 0);
                SendMessageW(target, LB_RESETCONTENT, 0, 0);
                for (const Item& item : state.items)
                    SendMessageW(target, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(fromGbk(item.text).c_str()));
                SendMessageW(target, WM_SETREDRAW, TRUE, 0);
            }
            SendMessageW(target, LB_SETCURSEL, static_cast<WPARAM>(state.selection), 0);
            InvalidateRect(target, nullptr, TRUE);
        }
        EnableWindow(target, !state.disabled);
    }

    void applyAll()
    {
        for (int c = 0; c < ControlCount; ++c)
            apply(static_cast<Control>(c));
        SetWindowTextW(window, fromGbk(caption()).c_str());
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
        if (isDisabled(list) || index < 0)
            return;
        recordUserSelection(list, index);
        if (const std::function<void()>* handler = handlerOf(list); handler && *handler)
            (*handler)();
    }

    void build(const WindowDefinition& defined)
    {
        definition = defined;
        std::optional<int> narrower, lower;
        for (const ControlDefinition& control : definition.controls) {
            if (control.growsWide)
                narrower = std::min(narrower.value_or(control.width), control.width - SmallestSide);
            if (control.growsTall)
                lower = std::min(lower.value_or(control.height), control.height - SmallestSide);
        }
        smallestWidth = definition.width - std::max(0, narrower.value_or(0));
        smallestHeight = definition.height - std::max(0, lower.value_or(0));
        const HINSTANCE instance = GetModuleHandleW(nullptr);
        RECT outer{0, 0, definition.width, definition.height};
        AdjustWindowRect(&outer, WS_OVERLAPPEDWINDOW, FALSE);
        window = CreateWindowExW(0, WindowClass, L"", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, definition.left,
                                 definition.top, outer.right - outer.left, outer.bottom - outer.top, nullptr, nullptr,
                                 instance, nullptr);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(static_cast<MessageTarget*>(this)));
        mainWindow = window;
        int id = FirstControlId;
        for (const ControlDefinition& control : definition.controls) {
            const wchar_t* kind = L"STATIC";
            DWORD style = WS_CHILD | WS_VISIBLE;
            std::wstring caption;
            switch (control.kind) {
            case ControlKind::Label:
                caption = fromGbk(control.caption);
                break;
            case ControlKind::DropDownList:
                kind = L"COMBOBOX";
                style |= CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP;
                break;
            case ControlKind::CheckListBox:
                kind = L"LISTBOX";
                style |= LBS_NOTIFY | LBS_OWNERDRAWFIXED | LBS_HASSTRINGS | LBS_NOINTEGRALHEIGHT | WS_VSCROLL |
                         WS_BORDER | WS_TABSTOP;
                break;
            case ControlKind::TextBox:
                kind = L"EDIT";
                style |= ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | WS_VSCROLL | WS_BORDER | WS_TABSTOP;
                break;
            }
            // A drop-down list's height is that of its open list.
            const int height = control.kind == ControlKind::DropDownList ? std::max(control.height, 300) : control.height;
            const HWND created =
                CreateWindowExW(0, kind, caption.c_str(), style, control.left, control.top, control.width, height,
                                window, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id++)), instance, nullptr);
            SendMessageW(created, WM_SETFONT, reinterpret_cast<WPARAM>(control.kind == ControlKind::TextBox ? textFont
                                                                                                             : font),
                         TRUE);
            if (control.kind == ControlKind::TextBox) {
                SendMessageW(created, EM_SETLIMITTEXT, 0, 0);
                // Ctrl+wheel over the text changes its size: the box passes it to the window.
                textBoxProcedure = reinterpret_cast<WNDPROC>(
                    SetWindowLongPtrW(created, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(textBoxMessages)));
            }
            placed.emplace_back(created, control);
            if (control.role) {
                roles[*control.role] = created;
                controlOf[created] = *control.role;
            }
            if (control.kind == ControlKind::CheckListBox)
                addTooltip(created);
        }
    }

    void addTooltip(HWND list)
    {
        if (!tooltip) {
            const INITCOMMONCONTROLSEX classes{sizeof(INITCOMMONCONTROLSEX), ICC_WIN95_CLASSES};
            InitCommonControlsEx(&classes);
            tooltip = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP,
                                      CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, window, nullptr,
                                      GetModuleHandleW(nullptr), nullptr);
            SendMessageW(tooltip, TTM_SETMAXTIPWIDTH, 0, 640);
            // The lists' own font: the title reads in the tip as in the list.
            SendMessageW(tooltip, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        }
        TTTOOLINFOW tool{};
        tool.cbSize = TTTOOLINFOW_V2_SIZE;
        tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
        tool.hwnd = window;
        tool.uId = reinterpret_cast<UINT_PTR>(list);
        tool.lpszText = LPSTR_TEXTCALLBACKW;
        SendMessageW(tooltip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
        SetWindowSubclass(list, listMessages, 1, reinterpret_cast<DWORD_PTR>(this));
    }

    // The item of `list` under the pointer; -1 where there is none.
    static int itemUnderPointer(HWND list)
    {
        POINT pointer{};
        GetCursorPos(&pointer);
        ScreenToClient(list, &pointer);
        RECT inside{};
        GetClientRect(list, &inside);
        if (!PtInRect(&inside, pointer))
            return -1;
        const auto found = static_cast<DWORD>(
            SendMessageW(list, LB_ITEMFROMPOINT, 0, MAKELPARAM(pointer.x, pointer.y)));
        return HIWORD(found) ? -1 : LOWORD(found);
    }

    // Moving onto another item takes the tip away; it comes back with that item's title.
    static LRESULT CALLBACK listMessages(HWND list, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                         DWORD_PTR data)
    {
        if (message == WM_MOUSEMOVE) {
            auto* self = reinterpret_cast<Impl*>(data);
            if (const int item = itemUnderPointer(list); item != self->tipItem) {
                self->tipItem = item;
                SendMessageW(self->tooltip, TTM_POP, 0, 0);
            }
        }
        return DefSubclassProc(list, message, wParam, lParam);
    }

    // The tip's text, asked for as it shows: the whole title of the item under the pointer, or none.
    void tipAsked(NMTTDISPINFOW& asked)
    {
        tipText.clear();
        const auto list = reinterpret_cast<HWND>(asked.hdr.idFrom);
        if (const auto role = controlOf.find(list); role != controlOf.end()) {
            const std::vector<Item>& items = shownItems[role->second];
            const int item = itemUnderPointer(list);
            tipItem = item;
            if (item >= 0 && static_cast<std::size_t>(item) < items.size())
                tipText = fromGbk(items[static_cast<std::size_t>(item)].text);
        }
        asked.lpszText = tipText.data();
    }

    // Every control at its defined place; those that grow take what the window is larger (or smaller) than defined.
    void place(int clientWidth, int clientHeight)
    {
        const int wider = clientWidth - definition.width;
        const int taller = clientHeight - definition.height;
        for (const auto& [created, control] : placed) {
            const int width = control.growsWide ? std::max(SmallestSide, control.width + wider) : control.width;
            int height = control.growsTall ? std::max(SmallestSide, control.height + taller) : control.height;
            if (control.kind == ControlKind::DropDownList)
                height = std::max(height, 300);
            MoveWindow(created, control.left, control.top, width, height, TRUE);
        }
    }

    void setTextPixels(int pixels)
    {
        textPixels = std::clamp(pixels, SmallestTextPixels, LargestTextPixels);
        const HFONT made = makeFont(textPixels, false);
        if (const auto box = roles.find(Control::TextBox); box != roles.end())
            SendMessageW(box->second, WM_SETFONT, reinterpret_cast<WPARAM>(made), TRUE);
        DeleteObject(textFont);
        textFont = made;
    }

    void moveArticle(int step)
    {
        const auto found = roles.find(Control::ArticleList);
        if (found == roles.end() || isDisabled(Control::ArticleList))
            return;
        const int count = static_cast<int>(SendMessageW(found->second, LB_GETCOUNT, 0, 0));
        if (count == 0)
            return;
        const int current = static_cast<int>(SendMessageW(found->second, LB_GETCURSEL, 0, 0));
        const int row = std::clamp(current + step, 0, count - 1);
        if (row == current)
            return;
        SendMessageW(found->second, LB_SETCURSEL, static_cast<WPARAM>(row), 0);
        userChose(Control::ArticleList, row);
    }

    void drawItem(const DRAWITEMSTRUCT& item)
    {
        const auto role = controlOf.find(item.hwndItem);
        if (role == controlOf.end() || item.itemID == static_cast<UINT>(-1))
            return;
        const std::vector<Item>& items = shownItems[role->second];
        if (item.itemID >= items.size())
            return;
        const Item& shown = items[item.itemID];
        const bool selected = (item.itemState & ODS_SELECTED) != 0;
        FillRect(item.hDC, &item.rcItem, GetSysColorBrush(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW));
        // A check box the user cannot change: it shows whether the article is stored.
        RECT box{item.rcItem.left + 3, item.rcItem.top + 4, item.rcItem.left + 3 + ItemHeight - 8,
                 item.rcItem.bottom - 4};
        DrawFrameControl(item.hDC, &box, DFC_BUTTON, DFCS_BUTTONCHECK | (shown.checked ? DFCS_CHECKED : 0));
        RECT words = item.rcItem;
        words.left = box.right + 6;
        const HGDIOBJ previous = SelectObject(item.hDC, shown.emphasized ? boldFont : font);
        SetBkMode(item.hDC, TRANSPARENT);
        SetTextColor(item.hDC, GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
        const std::wstring label = fromGbk(shown.text);
        // A title too long for the list ends in an ellipsis.
        DrawTextW(item.hDC, label.c_str(), static_cast<int>(label.size()), &words,
                  DT_SINGLELINE | DT_VCENTER | DT_END_ELLIPSIS | DT_NOPREFIX);
        SelectObject(item.hDC, previous);
        if (item.itemState & ODS_FOCUS)
            DrawFocusRect(item.hDC, &item.rcItem);
    }

    void command(WORD id, WORD code, HWND from)
    {
        if (const auto role = controlOf.find(from); role != controlOf.end()) {
            if (code == CBN_SELCHANGE && (role->second == Control::TopicList || role->second == Control::PageList))
                userChose(role->second, static_cast<int>(SendMessageW(from, CB_GETCURSEL, 0, 0)));
            else if (code == LBN_SELCHANGE)
                userChose(role->second, static_cast<int>(SendMessageW(from, LB_GETCURSEL, 0, 0)));
            return;
        }
        switch (id) {
        case CommandSearch: openSearch(); break;
        case CommandExport: chooseExport(); break;
        case CommandSite: openSiteDialog(); break;
        case CommandQuit: PostMessageW(window, WM_CLOSE, 0, 0); break;
        case CommandLarger: setTextPixels(textPixels + 2); break;
        case CommandSmaller: setTextPixels(textPixels - 2); break;
        case CommandDefaultSize: setTextPixels(DefaultTextPixels); break;
        case CommandNextArticle: moveArticle(1); break;
        case CommandPreviousArticle: moveArticle(-1); break;
        default: break;
        }
    }

    HWND makeDialog(const wchar_t* title, int width, int height)
    {
        RECT outer{0, 0, width, height};
        AdjustWindowRect(&outer, WS_CAPTION | WS_SYSMENU, FALSE);
        const HWND dialog = CreateWindowExW(WS_EX_DLGMODALFRAME, DialogClass, title, WS_CAPTION | WS_SYSMENU,
                                            CW_USEDEFAULT, CW_USEDEFAULT, outer.right - outer.left,
                                            outer.bottom - outer.top, window, nullptr, GetModuleHandleW(nullptr),
                                            nullptr);
        SetWindowLongPtrW(dialog, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(static_cast<MessageTarget*>(this)));
        dialogs.push_back(dialog);
        return dialog;
    }

    HWND child(HWND dialog, const wchar_t* kind, const wchar_t* text, DWORD style, int x, int y, int width, int height,
               int id = 0)
    {
        const HWND made = CreateWindowExW(0, kind, text, WS_CHILD | WS_VISIBLE | style, x, y, width, height, dialog,
                                          reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr),
                                          nullptr);
        SendMessageW(made, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
        return made;
    }

    // The search dialog: words in a field, the stored articles that hold them all below; choosing one shows it.
    void openSearch()
    {
        if (!searchDialog) {
            searchDialog = makeDialog(L"搜索本機文章", 480, 420);
            searchWords = child(searchDialog, L"EDIT", L"", WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL, 10, 10, 370, 30);
            SendMessageW(searchWords, EM_SETCUEBANNER, TRUE,
                         reinterpret_cast<LPARAM>(L"詞語，以空格分開；简体、繁體皆可"));
            child(searchDialog, L"BUTTON", L"搜索", WS_TABSTOP | BS_DEFPUSHBUTTON, 390, 10, 80, 30, IDOK);
            searchStatus = child(searchDialog, L"STATIC", L"", 0, 10, 48, 460, 26);
            searchHits = child(searchDialog, L"LISTBOX", L"", WS_BORDER | WS_VSCROLL | WS_TABSTOP | LBS_NOTIFY |
                                                              LBS_NOINTEGRALHEIGHT,
                               10, 80, 460, 330, SearchHitsId);
        }
        ShowWindow(searchDialog, SW_SHOW);
        SetForegroundWindow(searchDialog);
        SetFocus(searchWords);
    }

    void runSearch()
    {
        SendMessageW(searchHits, LB_RESETCONTENT, 0, 0);
        foundKeys.clear();
        const std::vector<FoundArticle> found =
            services.search ? services.search(narrow(windowText(searchWords))) : std::vector<FoundArticle>();
        for (const FoundArticle& article : found) {
            SendMessageW(searchHits, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide(article.line).c_str()));
            foundKeys.push_back(article.key);
        }
        SetWindowTextW(searchStatus,
                       found.empty() ? L"沒有找到" : (L"找到 " + std::to_wstring(found.size()) + L" 篇").c_str());
    }

    // The export: the system's save dialog for the place, then the book or the text files written there.
    void chooseExport()
    {
        wchar_t path[MAX_PATH * 4] = L"母豬養殖技術.epub";
        OPENFILENAMEW chosen{};
        chosen.lStructSize = sizeof chosen;
        chosen.hwndOwner = window;
        chosen.lpstrFilter = L"EPUB 電子書 (*.epub)\0*.epub\0UTF-8 文字檔，寫入此名稱的資料夾 (*)\0*\0";
        chosen.nFilterIndex = 1;
        chosen.lpstrFile = path;
        chosen.nMaxFile = static_cast<DWORD>(std::size(path));
        chosen.lpstrTitle = L"匯出本機文章";
        chosen.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR;
        if (!GetSaveFileNameW(&chosen))
            return;
        std::string target = narrow(path);
        std::replace(target.begin(), target.end(), '\\', '/');
        const std::string said = exportChosen(target, chosen.nFilterIndex == 1);
        MessageBoxW(window, wide(said).c_str(), L"匯出本機文章", MB_OK | MB_ICONINFORMATION);
    }

    std::string exportChosen(const std::string& path, bool epub)
    {
        return services.exportTo ? services.exportTo(path, epub) : std::string();
    }

    // The site dialog: an address (a category address copied from a browser will do), checked before it is kept.
    void openSiteDialog()
    {
        if (!siteDialog) {
            siteDialog = makeDialog(L"設定網站", 520, 190);
            child(siteDialog, L"STATIC", L"網站地址（可貼上瀏覽器中的欄目地址）：", 0, 10, 10, 500, 26);
            siteAddress = child(siteDialog, L"EDIT", L"", WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL, 10, 42, 500, 30);
            siteStatus = child(siteDialog, L"STATIC", L"", 0, 10, 80, 500, 54);
            child(siteDialog, L"BUTTON", L"確定", WS_TABSTOP | BS_DEFPUSHBUTTON, 320, 145, 90, 34, IDOK);
            child(siteDialog, L"BUTTON", L"取消", WS_TABSTOP, 420, 145, 90, 34, IDCANCEL);
        }
        ShowWindow(siteDialog, SW_SHOW);
        SetForegroundWindow(siteDialog);
        SetFocus(siteAddress);
    }

    void dialogCommand(HWND dialog, WORD id, WORD code) override
    {
        if (dialog == searchDialog) {
            if (id == IDOK)
                runSearch();
            else if (id == IDCANCEL)
                ShowWindow(dialog, SW_HIDE);
            else if (id == SearchHitsId && (code == LBN_SELCHANGE || code == LBN_DBLCLK)) {
                const auto row = static_cast<std::size_t>(SendMessageW(searchHits, LB_GETCURSEL, 0, 0));
                if (row < foundKeys.size() && services.openFound)
                    services.openFound(foundKeys[row]);
            }
        } else if (dialog == siteDialog) {
            if (id == IDCANCEL) {
                ShowWindow(dialog, SW_HIDE);
            } else if (id == IDOK) {
                SetWindowTextW(siteStatus, L"正在檢查…");
                UpdateWindow(siteStatus);
                const std::string why = services.setSite ? services.setSite(narrow(windowText(siteAddress))) : "";
                if (why.empty())
                    ShowWindow(dialog, SW_HIDE);
                else
                    SetWindowTextW(siteStatus, wide(why).c_str());
            }
        }
    }

    // The window within the work area, never smaller than its smallest size.
    void fitScreen()
    {
        RECT room{};
        if (!SystemParametersInfoW(SPI_GETWORKAREA, 0, &room, 0))
            return;
        RECT outer{};
        GetWindowRect(window, &outer);
        const int width = std::min<int>(outer.right - outer.left, room.right - room.left);
        const int height = std::min<int>(outer.bottom - outer.top, room.bottom - room.top);
        const int left = std::clamp<int>(outer.left, room.left, std::max<int>(room.left, room.right - width));
        const int top = std::clamp<int>(outer.top, room.top, std::max<int>(room.top, room.bottom - height));
        SetWindowPos(window, nullptr, left, top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
    }

    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        switch (message) {
        case ApplyMessage:
            apply(static_cast<Control>(wParam));
            return 0;
        case CaptionMessage:
            SetWindowTextW(window, fromGbk(caption()).c_str());
            return 0;
        case WM_SIZE:
            place(LOWORD(lParam), HIWORD(lParam));
            return 0;
        case WM_GETMINMAXINFO: {
            RECT outer{0, 0, smallestWidth, smallestHeight};
            AdjustWindowRect(&outer, WS_OVERLAPPEDWINDOW, FALSE);
            auto* limits = reinterpret_cast<MINMAXINFO*>(lParam);
            limits->ptMinTrackSize = {outer.right - outer.left, outer.bottom - outer.top};
            return 0;
        }
        case WM_MEASUREITEM:
            reinterpret_cast<MEASUREITEMSTRUCT*>(lParam)->itemHeight = ItemHeight;
            return TRUE;
        case WM_DRAWITEM:
            drawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
            return TRUE;
        case WM_COMMAND:
            command(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam));
            return 0;
        case WM_NOTIFY:
            if (auto* header = reinterpret_cast<NMHDR*>(lParam); header->hwndFrom == tooltip &&
                                                                  header->code == TTN_GETDISPINFOW) {
                tipAsked(*reinterpret_cast<NMTTDISPINFOW*>(lParam));
                return 0;
            }
            break;
        case WM_CTLCOLORSTATIC:
            // The read-only text box reads as a page, not as a disabled field.
            if (const auto box = roles.find(Control::TextBox);
                box != roles.end() && reinterpret_cast<HWND>(lParam) == box->second) {
                SetBkColor(reinterpret_cast<HDC>(wParam), GetSysColor(COLOR_WINDOW));
                return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
            }
            break;
        case WM_MOUSEWHEEL:
            // Ctrl+wheel changes the text's size.
            if (GET_KEYSTATE_WPARAM(wParam) & MK_CONTROL) {
                setTextPixels(textPixels + (GET_WHEEL_DELTA_WPARAM(wParam) > 0 ? 2 : -2));
                return 0;
            }
            break;
        case WM_CLOSE:
            ShowWindow(window, SW_HIDE);
            PostQuitMessage(0);
            return 0;
        default:
            break;
        }
        return DefWindowProcW(window, message, wParam, lParam);
    }
};

namespace {

LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (MessageTarget* target = targetOf(window))
        return target->handle(message, wParam, lParam);
    return DefWindowProcW(window, message, wParam, lParam);
}

LRESULT CALLBACK dialogProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    MessageTarget* target = targetOf(dialog);
    if (target && message == WM_COMMAND) {
        target->dialogCommand(dialog, LOWORD(wParam), HIWORD(wParam));
        return 0;
    }
    if (message == WM_CLOSE) {
        ShowWindow(dialog, SW_HIDE);
        return 0;
    }
    return DefWindowProcW(dialog, message, wParam, lParam);
}

} // namespace

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

void Window::setServices(WindowServices services)
{
    impl->services = std::move(services);
}

void Window::askForSite()
{
    impl->openSiteDialog();
}

void Window::show()
{
    impl->fitScreen();
    ShowWindow(impl->window, SW_SHOW);
    UpdateWindow(impl->window);
}

void Window::close()
{
    PostMessageW(impl->window, WM_CLOSE, 0, 0);
}

bool Window::isVisible() const
{
    return IsWindowVisible(impl->window) != FALSE;
}

void Window::setPlace(int left, int top, int width, int height)
{
    RECT outer{0, 0, std::max(width, impl->smallestWidth), std::max(height, impl->smallestHeight)};
    AdjustWindowRect(&outer, WS_OVERLAPPEDWINDOW, FALSE);
    SetWindowPos(impl->window, nullptr, left, top, outer.right - outer.left, outer.bottom - outer.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
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

int Window::left() const
{
    RECT outer{};
    GetWindowRect(impl->window, &outer);
    return outer.left;
}

int Window::top() const
{
    RECT outer{};
    GetWindowRect(impl->window, &outer);
    return outer.top;
}

int Window::width() const
{
    RECT client{};
    GetClientRect(impl->window, &client);
    return client.right;
}

int Window::height() const
{
    RECT client{};
    GetClientRect(impl->window, &client);
    return client.bottom;
}

std::string Window::caption() const
{
    Application::processEvents();
    return narrow(windowText(impl->window));
}

void Window::applyPendingChanges()
{
    impl->applyAll();
}

std::string Window::exportChosen(const std::string& path, bool epub)
{
    return impl->exportChosen(path, epub);
}

QWidget* Window::widget()
{
    return nullptr; // no toolkit widget on Windows: the probes that need one are the Qt build's
}

bool hasDisplay()
{
    return true;
}

} // namespace platform
