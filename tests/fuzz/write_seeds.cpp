// Writes the seed corpus of the fuzz targets into the folder given as the first argument: the sample site's pages,
// and hostile inputs (lone lead bytes, NUL bytes, 0x80 and 0xFF, unterminated tags, a 10 MB line).
#include "platform/file_system.h"
#include "site/sample_site.h"

#include <string>

int main(int argc, char** argv)
{
    if (argc < 2)
        return 2;
    const std::string folder = argv[1];
    platform::ensureDirectories(folder);
    int number = 0;
    const auto write = [&](const ByteSet& bytes) {
        platform::writeWholeFile(platform::joinPath(folder, "seed-" + std::to_string(number++)), bytes);
    };
    const sample::SampleSite site("http://127.0.0.1:8123");
    for (const sample::SamplePage& page : site.pages())
        write(page.bytes);
    for (const sample::SampleArticle& article : site.articles())
        write(article.title);
    write(std::string("\x81\x81\x81<li class=\"catlist_li\">\xFE", 28));
    write(std::string("a\0b\0<p>\0</p>", 12));
    write(std::string("\x80\xFF\x80\xFF<\x80>\xFF", 8));
    write("<div class=\"x\"<span<a href=\"");
    write("<li class=\"catlist_li\"><span class=\"r\">2024-1-1</span><a href=\"x\" target=\"_blank\" title=\"");
    write("../../..\\..\\CON:*?\"<>|");
    return 0;
}
