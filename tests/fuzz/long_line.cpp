// Writes a 10 MB page on a single line to the file given as the first argument, for the fuzz targets to run once.
#include "platform/file_system.h"

#include <string>

int main(int argc, char** argv)
{
    if (argc < 2)
        return 2;
    // "<p>【导读】" in GBK, then mark-up and text without a single line break.
    std::string page = "<html><body><p>\xA1\xBE\xB5\xBC\xB6\xC1\xA1\xBF";
    while (page.size() < 10u * 1024 * 1024)
        page += "<p class=\"x\">\xC4\xB8\xD6\xED text a(\"conten\"); <a href=\"/303/1.html\">1</a> ";
    page += "...</p></body></html>";
    return platform::writeWholeFile(argv[1], page) ? 0 : 1;
}
