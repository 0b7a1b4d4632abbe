// The search's snapshot of the store: what it keeps serves only while the files it was made from are unchanged.
#include "library/store_snapshot.h"

#include "platform/threads.h"
#include "support/system.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <random>
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
    // The files as a search reads them: in place from the snapshot where it can.
    std::map<std::string, std::string> scan(const std::vector<std::string>& names)
    {
        std::map<std::string, std::string> contents;
        std::mutex guard;
        snapshot.scanFiles(folder, names, 1 << 20, [&](const ByteSet& bytes) {
            const std::lock_guard lock(guard);
            ++derived;
            return "<" + bytes + ">";
        }, [&](const std::string& name, std::string_view content) {
            const std::lock_guard lock(guard);
            EXPECT_TRUE(contents.emplace(name, content).second) << name;
        });
        return contents;
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

// Whatever is wrong with the snapshot, a run gives what the files hold, and the damage is not saved again: flipped
// bytes anywhere (the records, the database's own pages, its header and mark), a file that is no database, a huge
// sparse file, and a FIFO (a folder, where there are none), which is neither read nor replaced.
TEST_F(StoreSnapshot, ADamagedForeignOrOversizedSnapshotIsNeverTrusted)
{
    const std::string path = store.path() + "/snapshot";
    const auto runGivesTheFiles = [&](const std::string& what) {
        SearchRun run(store.path());
        const std::vector<std::string> names = run.names();
        EXPECT_EQ(names, (std::vector<std::string>{"a.txt", "b.txt", "c.txt"})) << what;
        EXPECT_EQ(run.scan(names), (std::map<std::string, std::string>{{"a.txt", "<one>"}, {"b.txt", "<two>"},
                                                                      {"c.txt", "<six>"}}))
            << what;
        EXPECT_EQ(run.read("a.txt"), "<one>") << what;
        run.snapshot.save();
        return run.derived;
    };
    EXPECT_EQ(runGivesTheFiles("first"), 4);
    ASSERT_EQ(runGivesTheFiles("kept"), 0);
    const ByteSet whole = platform::readWholeFile(path).value();

    // Every byte that is not zero (the used part of the pages), and a hundred of the unused ones.
    std::vector<std::size_t> positions{68, 69, 70, 71}; // the program's mark in the database header
    std::vector<std::size_t> unused;
    for (std::size_t at = 0; at < whole.size(); ++at)
        (whole[at] != '\0' ? positions : unused).push_back(at);
    std::mt19937 random(7);
    std::shuffle(unused.begin(), unused.end(), random);
    positions.insert(positions.end(), unused.begin(), unused.begin() + std::min<std::ptrdiff_t>(100, std::ssize(unused)));
    for (const std::size_t at : positions) {
        ByteSet flipped = whole;
        flipped[at] = static_cast<char>(flipped[at] ^ (1 << (at % 8)));
        ASSERT_TRUE(platform::writeWholeFile(path, flipped));
        runGivesTheFiles("flip at " + std::to_string(at));
        runGivesTheFiles("after the flip at " + std::to_string(at));
    }

    for (const ByteSet& bytes : {ByteSet(), ByteSet("garbage"), whole.substr(0, whole.size() / 2)}) {
        ASSERT_TRUE(platform::writeWholeFile(path, bytes));
        EXPECT_EQ(runGivesTheFiles("a file of " + std::to_string(bytes.size()) + " bytes"), 4);
        EXPECT_EQ(runGivesTheFiles("rebuilt"), 0);
    }

    // Eight gigabytes, a valid snapshot at their start: far larger than the files it copies, so not read at all.
    ASSERT_TRUE(platform::writeWholeFile(path, whole));
    fs::resize_file(path, 8ull << 30);
    EXPECT_EQ(runGivesTheFiles("huge"), 4);
    EXPECT_LT(fs::file_size(path), 1u << 20);

    fs::remove(path);
    testing_support::makeNonRegularFile(path);
    EXPECT_EQ(runGivesTheFiles("a FIFO"), 4);
    EXPECT_TRUE(fs::exists(path));
    EXPECT_FALSE(fs::is_regular_file(path));
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
