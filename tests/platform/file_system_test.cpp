// File-system tasks: atomic whole-file writes, reads and folders.
#include "platform/file_system.h"

#include "support/test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <thread>
#include <vector>

using testing_support::ScratchFolder;

TEST(FileSystemWrite, ReplacesTheWholeFileAndLeavesNoTemporaryFile)
{
    ScratchFolder folder;
    const platform::Path path = platform::joinPath(folder.path(), "母豬.txt");
    EXPECT_FALSE(platform::exists(path));
    ASSERT_TRUE(platform::writeWholeFile(path, std::string("first version, longer\r\n")));
    ASSERT_TRUE(platform::writeWholeFile(path, std::string("a\0b", 3)));
    EXPECT_EQ(platform::readWholeFile(path).value(), std::string("a\0b", 3));
    EXPECT_EQ(folder.files(), std::vector<std::string>{"母豬.txt"});
    ASSERT_TRUE(platform::writeWholeFile(path, ""));
    EXPECT_EQ(platform::readWholeFile(path).value(), "");
}

TEST(FileSystemWrite, TargetNameOf255BytesWorks)
{
    ScratchFolder folder;
    const std::string name = std::string(251, 'x') + ".txt";
    ASSERT_EQ(name.size(), 255u);
    EXPECT_TRUE(platform::writeWholeFile(platform::joinPath(folder.path(), name), "content"));
    EXPECT_EQ(platform::readWholeFile(platform::joinPath(folder.path(), name)).value(), "content");
}

TEST(FileSystemWrite, FailureIsReportedAndLeavesNothing)
{
    ScratchFolder folder;
    EXPECT_FALSE(platform::writeWholeFile(platform::joinPath(folder.path(), "missing/folder/file.txt"), "x"));
    EXPECT_FALSE(platform::writeWholeFile(platform::joinPath(folder.path(), std::string(300, 'y')), "x"));
    EXPECT_TRUE(folder.files().empty());
    EXPECT_FALSE(platform::readWholeFile(platform::joinPath(folder.path(), "none")).has_value());
}

TEST(FileSystemWrite, ConcurrentWritersNeverLeaveAMixedFile)
{
    ScratchFolder folder;
    const platform::Path path = platform::joinPath(folder.path(), "shared.txt");
    const std::string a(200000, 'a');
    const std::string b(100000, 'b');
    std::vector<std::thread> writers;
    for (int i = 0; i < 4; ++i)
        writers.emplace_back([&, i] {
            for (int n = 0; n < 20; ++n)
                platform::writeWholeFile(path, i % 2 ? a : b);
        });
    bool sawPartial = false;
    for (int n = 0; n < 200; ++n) {
        const auto content = platform::readWholeFile(path);
        if (content && *content != a && *content != b)
            sawPartial = true;
    }
    for (auto& writer : writers)
        writer.join();
    EXPECT_FALSE(sawPartial);
    EXPECT_EQ(folder.files(), std::vector<std::string>{"shared.txt"});
}

TEST(FileSystemFolders, EnsureDirectoryCreatesOnceAndKeepsContent)
{
    ScratchFolder folder;
    const platform::Path path = platform::joinPath(folder.path(), "tree");
    platform::ensureDirectory(path);
    ASSERT_TRUE(platform::exists(path));
    ASSERT_TRUE(platform::writeWholeFile(platform::joinPath(path, "kept.txt"), "k"));
    platform::ensureDirectory(path);
    EXPECT_EQ(platform::readWholeFile(platform::joinPath(path, "kept.txt")).value(), "k");
    EXPECT_TRUE(platform::isWritableDirectory(path));
}

TEST(FileSystemFolders, StaleTemporaryFilesAreRemovedAndOthersKept)
{
    ScratchFolder folder;
    namespace fs = std::filesystem;
    const fs::path base(folder.path());
    platform::writeWholeFile((base / ".vh-0123456789abcdef0000.part").string(), "stale");
    platform::writeWholeFile((base / ".vh-fresh0000000000000.part").string(), "fresh");
    platform::writeWholeFile((base / "article.txt").string(), "kept");
    fs::last_write_time(base / ".vh-0123456789abcdef0000.part", fs::file_time_type::clock::now() - std::chrono::hours(1));
    platform::removeStaleTemporaryFiles(folder.path());
    EXPECT_EQ(folder.files(), (std::vector<std::string>{".vh-fresh0000000000000.part", "article.txt"}));
}

// The held folder answers for its current contents, not for what it held when it was opened; a folder missing at
// first is looked up by its whole path once it exists.
TEST(FileSystemFolders, FolderLookupFollowsTheFolderAsItChanges)
{
    ScratchFolder folder;
    const platform::FolderLookup lookup(folder.path());
    EXPECT_FALSE(lookup.contains("母豬.txt"));
    ASSERT_TRUE(platform::writeWholeFile(platform::joinPath(folder.path(), "母豬.txt"), "x"));
    EXPECT_TRUE(lookup.contains("母豬.txt"));
    EXPECT_FALSE(lookup.contains("母猪.txt"));
    const platform::Path stored = platform::joinPath(folder.path(), "母豬.txt");
    std::filesystem::remove(std::filesystem::path(std::u8string(stored.begin(), stored.end())));
    EXPECT_FALSE(lookup.contains("母豬.txt"));

    const platform::Path later = platform::joinPath(folder.path(), "later");
    const platform::FolderLookup missing(later);
    EXPECT_FALSE(missing.contains("a.txt"));
    platform::ensureDirectory(later);
    ASSERT_TRUE(platform::writeWholeFile(platform::joinPath(later, "a.txt"), "a"));
    EXPECT_TRUE(missing.contains("a.txt"));
    EXPECT_TRUE(lookup.contains("later"));
}
