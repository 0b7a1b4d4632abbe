// The search's snapshot of the store: what it keeps serves only while the files it was made from are unchanged.
#include "library/store_snapshot.h"

#include "platform/threads.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

// One run over the folder "files" of `store`; by default an hour from now, so that every file counts as settled.
struct SearchRun {
    explicit SearchRun(const std::string& store,
                 std::chrono::system_clock::time_point now = std::chrono::system_clock::now() + 1h)
        : snapshot(store + "/snapshot", now), folder(store + "/files"), path(store + "/files")
    {
    }

    std::optional<std::string> read(const std::string& name)
    {
        const auto content = snapshot.read(folder, name, name, 1 << 20, [&](const ByteSet& bytes) {
            ++derived;
            return "<" + bytes + ">";
        });
        return content ? std::optional<std::string>(*content) : std::nullopt;
    }
    std::vector<std::string> names()
    {
        return snapshot.filesIn(path, "folder/files", [](const std::string& name) { return name.ends_with(".txt"); });
    }

    library::StoreSnapshot snapshot;
    platform::FolderLookup folder;
    platform::Path path;
    int derived = 0;
};

// Lets the file system's clock move on, so that a change made next gets a stamp of its own.
void nextClockStep()
{
    std::this_thread::sleep_for(30ms);
}

struct SnapshotFixture : ::testing::Test {
    testing_support::ScratchFolder store;
    std::string file(const std::string& name) const { return store.path() + "/files/" + name; }
    void SetUp() override
    {
        fs::create_directories(store.path() + "/files");
        for (const auto& [name, text] : {std::pair{"a.txt", "one"}, {"b.txt", "two"}, {"c.txt", "six"}})
            ASSERT_TRUE(platform::writeWholeFile(file(name), text));
    }
    // A first run that reads every file and saves the snapshot.
    void firstRun()
    {
        SearchRun run(store.path());
        for (const char* name : {"a.txt", "b.txt", "c.txt"})
            ASSERT_TRUE(run.read(name));
        ASSERT_EQ(run.derived, 3);
        run.snapshot.save();
    }
};

} // namespace

using StoreSnapshot = SnapshotFixture;

TEST_F(StoreSnapshot, UnchangedFilesComeFromTheSnapshotAndChangedOnesFromTheFiles)
{
    firstRun();
    nextClockStep();
    ASSERT_TRUE(platform::writeWholeFile(file("b.txt"), "TWO")); // replaced: same size, another file
    std::ofstream(file("c.txt"), std::ios::binary | std::ios::in | std::ios::out) << "SIX"; // written in place
    SearchRun second(store.path());
    EXPECT_EQ(second.read("a.txt"), "<one>");
    EXPECT_EQ(second.read("b.txt"), "<TWO>");
    EXPECT_EQ(second.read("c.txt"), "<SIX>");
    EXPECT_EQ(second.derived, 2);
    second.snapshot.save();

    fs::remove(file("a.txt"));
    fs::create_directory(file("c.txt") + ".dir");
    SearchRun third(store.path());
    EXPECT_EQ(third.read("a.txt"), std::nullopt);
    EXPECT_EQ(third.read("b.txt"), "<TWO>");
    EXPECT_EQ(third.read("c.txt"), "<SIX>");
    EXPECT_EQ(third.read("c.txt.dir"), std::nullopt);
    EXPECT_EQ(third.derived, 0);
}

TEST_F(StoreSnapshot, FilesChangedJustBeforeTheRunAreNotKept)
{
    // The files were written a moment ago: within one clock step they could change again unseen.
    SearchRun now(store.path(), std::chrono::system_clock::now());
    ASSERT_EQ(now.read("a.txt"), "<one>");
    now.snapshot.save();
    SearchRun later(store.path());
    EXPECT_EQ(later.read("a.txt"), "<one>");
    EXPECT_EQ(later.derived, 1);
}

TEST_F(StoreSnapshot, TheFolderListFollowsNamesAddedAndRemovedAndAnUnchangedRunWritesNothing)
{
    SearchRun first(store.path());
    EXPECT_EQ(first.names(), (std::vector<std::string>{"a.txt", "b.txt", "c.txt"}));
    for (const std::string& name : first.names())
        first.read(name);
    first.snapshot.save();

    SearchRun same(store.path());
    EXPECT_EQ(same.names(), (std::vector<std::string>{"a.txt", "b.txt", "c.txt"}));
    for (const std::string& name : same.names())
        same.read(name);
    const auto written = fs::last_write_time(store.path() + "/snapshot");
    nextClockStep();
    same.snapshot.save();
    EXPECT_EQ(fs::last_write_time(store.path() + "/snapshot"), written);

    fs::remove(file("a.txt"));
    ASSERT_TRUE(platform::writeWholeFile(file("d.txt"), "new"));
    ASSERT_TRUE(platform::writeWholeFile(file("notes.md"), "not an article"));
    SearchRun changed(store.path());
    EXPECT_EQ(changed.names(), (std::vector<std::string>{"b.txt", "c.txt", "d.txt"}));
}

TEST_F(StoreSnapshot, ADamagedSnapshotIsIgnored)
{
    firstRun();
    const std::string path = store.path() + "/snapshot";
    const ByteSet whole = platform::readWholeFile(path).value();
    ByteSet huge = whole.substr(0, whole.find('\n') + 1 + 4) + std::string(8, '\xff');
    std::vector<ByteSet> damaged{"", "garbage", huge, whole.substr(0, whole.size() / 2),
                                 whole.substr(0, whole.size() - 1)};
    for (const ByteSet& bytes : damaged) {
        ASSERT_TRUE(platform::writeWholeFile(path, bytes));
        SearchRun run(store.path());
        EXPECT_EQ(run.read("a.txt"), "<one>");
        EXPECT_EQ(run.read("c.txt"), "<six>");
        EXPECT_EQ(run.derived, 2) << bytes.size();
    }
}

TEST_F(StoreSnapshot, NamesFromTheSnapshotStayInTheirFolder)
{
    SearchRun first(store.path());
    ASSERT_EQ(first.names().size(), 3u);
    first.snapshot.save();
    // A snapshot that names a path, not a name: its folder list must not lead out of the folder.
    const std::string path = store.path() + "/snapshot";
    ByteSet bytes = platform::readWholeFile(path).value();
    const std::size_t list = bytes.find("a.txt\nb.txt\nc.txt\n");
    ASSERT_NE(list, ByteSet::npos);
    bytes.replace(list + 12, 5, "/.txt");
    ASSERT_TRUE(platform::writeWholeFile(path, bytes));
    SearchRun second(store.path());
    EXPECT_EQ(second.names(), (std::vector<std::string>{"a.txt", "b.txt"}));
}

TEST_F(StoreSnapshot, ManyThreadsReadAtOnce)
{
    constexpr int Files = 400;
    for (int i = 0; i < Files; ++i)
        ASSERT_TRUE(platform::writeWholeFile(file(std::to_string(i) + ".txt"), std::to_string(i)));
    const auto readAll = [&](SearchRun& run, const std::string& changed) {
        std::vector<std::optional<std::string>> read(Files);
        std::atomic<int> derived{0};
        platform::runInParallel(Files, [&](std::size_t i) {
            const auto content = run.snapshot.read(run.folder, std::to_string(i) + ".txt", std::to_string(i), 64,
                                                   [&](const ByteSet& bytes) {
                                                       ++derived;
                                                       return bytes;
                                                   });
            read[i] = content ? std::optional<std::string>(*content) : std::nullopt;
        });
        for (int i = 0; i < Files; ++i)
            EXPECT_EQ(read[static_cast<std::size_t>(i)], std::to_string(i) + (i % 2 ? changed : "")) << i;
        run.snapshot.save();
        return derived.load();
    };
    SearchRun first(store.path());
    EXPECT_EQ(readAll(first, ""), Files);
    nextClockStep();
    for (int i = 1; i < Files; i += 2)
        ASSERT_TRUE(platform::writeWholeFile(file(std::to_string(i) + ".txt"), std::to_string(i) + "+"));
    SearchRun second(store.path());
    EXPECT_EQ(readAll(second, "+"), Files / 2);
}
