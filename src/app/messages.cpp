// The window's texts, written once in UTF-8 and converted to GBK on first use.
#include "app/messages.h"

#include "platform/gbk_codec.h"

#include <string>

namespace messages {

const Text& windowCaption()
{
    static const Text text = platform::gbk::fromUtf8("Varnholt");
    return text;
}

const Text& loadingFirstPart()
{
    static const Text text =
        platform::gbk::fromUtf8("正在加載本頁所有文章\r\n如果是首次加載本頁文章，則比較耗時，請耐心等待！\r\n");
    return text;
}

const Text& loadingSecondPart()
{
    static const Text text = platform::gbk::fromUtf8("如果非首次加載本頁文章，則比較快，不信就等着看！");
    return text;
}

const Text& completion()
{
    static const Text text = platform::gbk::fromUtf8("恭喜您：本頁所有文章加載完畢！");
    return text;
}

Text articlesMissing(int count, bool siteSilent)
{
    const char* why = siteSilent ? "網站無法連接" : "下載失敗";
    return platform::gbk::fromUtf8("本頁 " + std::to_string(count) + " 篇文章暫時無法獲取：" + why);
}

const Text& offlineNotice()
{
    static const Text text = platform::gbk::fromUtf8("網站暫時無法連接，現顯示本機保存的目錄");
    return text;
}

const Text& siteNotSet()
{
    static const Text text = platform::gbk::fromUtf8(
        "未設定網站。請按 Ctrl+, 在窗口中設定，或以 --site 網址、環境變數 VARNHOLT_SITE，\r\n或設定檔 "
        "~/.config/varnholt/varnholt.conf 中的一行 site=網址 指定網站。");
    return text;
}

} // namespace messages
