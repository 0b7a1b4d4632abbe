// The program as a process: no display, and an archive stopped by Ctrl-C that resumes. It drives the program through
// POSIX (signals, waits, a network namespace), so only the Linux build runs it.
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <sys/wait.h>
#ifdef __linux__
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/socket.h>
#endif
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <random>
#include <thread>

using testing_support::SampleServer;

namespace {

struct Child {
    pid_t pid = -1;
    int outputFd = -1;
};

// Starts `program` with `arguments` and the given environment; its standard output and error go to one pipe.
// `prepare` runs in the child just before the program starts; when it fails the child exits with 77.
Child startProgram(const char* program, const std::vector<std::string>& arguments,
                   const std::vector<std::string>& environment, const std::function<bool()>& prepare = {})
{
    int fds[2];
    if (pipe(fds) != 0)
        return {};
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(fds[1], STDOUT_FILENO);
        dup2(fds[1], STDERR_FILENO);
        close(fds[0]);
        if (prepare && !prepare())
            _exit(77);
        std::vector<char*> argv{const_cast<char*>(program)};
        for (const std::string& word : arguments)
            argv.push_back(const_cast<char*>(word.c_str()));
        argv.push_back(nullptr);
        std::vector<char*> envp;
        for (const std::string& variable : environment)
            envp.push_back(const_cast<char*>(variable.c_str()));
        envp.push_back(nullptr);
        execve(program, argv.data(), envp.data());
        _exit(127);
    }
    close(fds[1]);
    return {pid, fds[0]};
}

// Starts the program itself.
Child start(const std::vector<std::string>& arguments, const std::vector<std::string>& environment,
            const std::function<bool()>& prepare = {})
{
    return startProgram(VARNHOLT_BINARY, arguments, environment, prepare);
}

struct Finished {
    int code = -1;
    std::string output;
};

Finished finish(Child child)
{
    Finished finished;
    char buffer[4096];
    for (ssize_t n; (n = read(child.outputFd, buffer, sizeof buffer)) > 0;)
        finished.output.append(buffer, static_cast<std::size_t>(n));
    close(child.outputFd);
    int status = 0;
    waitpid(child.pid, &status, 0);
    finished.code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return finished;
}

std::vector<std::string> plainEnvironment()
{
    return {"PATH=/usr/bin:/bin", "HOME=/tmp", "LANG=C.UTF-8"};
}

} // namespace

TEST(Process, WithoutADisplayTheWindowIsNotTriedAndTheCommandsAreNamed)
{
    const Finished finished = finish(start({}, plainEnvironment()));
    EXPECT_EQ(finished.code, 2);
    EXPECT_EQ(finished.output,
              "varnholt: no display found; without one, use a command, for example 'scripts/run page 1 --demo' or "
              "'varnholt --help'\n");
}

TEST(Process, ArchiveStoppedByCtrlCLeavesCompleteFilesAndResumes)
{
    SampleServer sample;
    sample.server.setResponseDelay(std::chrono::milliseconds(60));
    const std::vector<std::string> arguments{"archive", "--site", sample.server.baseAddress(), "--store",
                                             sample.store.path()};
    const Child child = start(arguments, plainEnvironment());
    std::this_thread::sleep_for(std::chrono::milliseconds(1200));
    const auto interrupted = std::chrono::steady_clock::now();
    kill(child.pid, SIGINT);
    const Finished stopped = finish(child);
    EXPECT_LT(std::chrono::steady_clock::now() - interrupted, std::chrono::seconds(2));
    EXPECT_EQ(stopped.code, 130) << stopped.output;
    EXPECT_NE(stopped.output.find("interrupted: pages "), std::string::npos) << stopped.output;
    // The article cut off in flight was not reached, not failed.
    EXPECT_NE(stopped.output.find(", failed articles 0, "), std::string::npos) << stopped.output;

    const SiteAccessor site(sample.environment());
    const auto complete = [&] {
        const auto counted = testing_support::storedArticles(site, sample.site.articles());
        EXPECT_EQ(counted.incomplete, 0);
        return counted.stored;
    };
    const int storedAtStop = complete();
    EXPECT_GT(storedAtStop, 0);
    EXPECT_LT(storedAtStop, 58);
    const int requestsAtStop = sample.articleRequests();

    sample.server.setResponseDelay(std::chrono::milliseconds(0));
    const Finished resumed = finish(start(arguments, plainEnvironment()));
    EXPECT_EQ(resumed.code, 0) << resumed.output;
    EXPECT_EQ(complete(), 58);
    // Only what was missing was downloaded (one may have been cut off in flight).
    EXPECT_LE(sample.articleRequests() - requestsAtStop, 58 - storedAtStop + 1);
    for (const std::string& file : sample.store.files())
        EXPECT_TRUE(file.ends_with(".txt") || file.ends_with(".html")) << file;
}

TEST(Process, ExitCodesSayHowItEnded)
{
    SampleServer sample;
    const std::vector<std::string> site{"--site", sample.server.baseAddress(), "--store", sample.store.path()};
    const auto with = [&](std::vector<std::string> words) {
        words.insert(words.end(), site.begin(), site.end());
        return words;
    };
    // SIGTERM: 143, not Ctrl-C's 130.
    sample.server.setResponseDelay(std::chrono::milliseconds(60));
    const Child child = start(with({"archive"}), plainEnvironment());
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    kill(child.pid, SIGTERM);
    const Finished stopped = finish(child);
    EXPECT_EQ(stopped.code, 143) << stopped.output;
    sample.server.setResponseDelay(std::chrono::milliseconds(0));

    // Standard output on a full device or closed: the result cannot arrive, 6. A command that prints nothing there
    // (archive) is not affected.
    const auto withStdout = [&](const char* target, const char* command) {
        return finish(start(with({command}), {"PATH=/usr/bin:/bin"}, [target] {
                   if (target)
                       return dup2(open(target, O_WRONLY), STDOUT_FILENO) >= 0;
                   return close(STDOUT_FILENO) == 0;
               }))
            .code;
    };
    EXPECT_EQ(withStdout("/dev/full", "counts"), 6);
    EXPECT_EQ(withStdout(nullptr, "counts"), 6);
    EXPECT_EQ(withStdout(nullptr, "archive"), 0);

    EXPECT_EQ(finish(start(with({"counts", "--delay", "nan"}), plainEnvironment())).code, 2);
    // The window with an explicit store it cannot write says so instead of opening.
    std::vector<std::string> display = plainEnvironment();
    display.push_back("QT_QPA_PLATFORM=offscreen");
    const Finished window = finish(start({"--store", "/dev/null/store", "--site", "http://127.0.0.1:1"}, display));
    EXPECT_EQ(window.code, 5);
    EXPECT_NE(window.output.find("varnholt: cannot write the store: /dev/null/store/Marrowfen/"), std::string::npos)
        << window.output;
}

#ifdef __linux__
// The program with a name server that never answers: in a mount namespace of its own whose resolv.conf names a
// local UDP socket that is never read. Returns the child; -1 when namespaces or mounts are not allowed here.
Child startWithSilentNameServer(const std::vector<std::string>& arguments, const std::string& folder)
{
    return start(arguments, {"PATH=/usr/bin:/bin", "HOME=/tmp"}, [&folder] {
        const std::string resolv = folder + "/resolv.conf";
        if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            !platform::writeWholeFile(resolv, "nameserver 127.0.0.77\noptions timeout:30 attempts:3\n") ||
            mount(resolv.c_str(), "/etc/resolv.conf", nullptr, MS_BIND, nullptr) != 0)
            return false;
        // Bound and never read: every query waits for an answer that never comes. It stays open across exec.
        const int silent = socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(53);
        address.sin_addr.s_addr = htonl(0x7F00004D); // 127.0.0.77
        return silent >= 0 && bind(silent, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    });
}

// With no network at all (a network namespace of its own, without even its loopback up) the store answers, and
// `offline=true` in the configuration file asks the site nothing.
TEST(Process, WithNoNetworkOrOfflineTheStoreAnswersAndNothingIsAsked)
{
    SampleServer sample;
    const std::string site = sample.server.baseAddress();
    const std::vector<std::string> show{"show", "2", "5", "--site", site, "--store", sample.store.path()};
    std::vector<std::string> archive{"archive", "1-3", "--site", site, "--store", sample.store.path()};
    ASSERT_EQ(finish(start(archive, plainEnvironment())).code, 0);
    const Finished online = finish(start(show, plainEnvironment()));
    ASSERT_EQ(online.code, 0) << online.output;

    testing_support::ScratchFolder config;
    ASSERT_TRUE(platform::ensureDirectories(config.path() + "/varnholt"));
    ASSERT_TRUE(platform::writeWholeFile(config.path() + "/varnholt/varnholt.conf", "offline=true\n"));
    std::vector<std::string> environment = plainEnvironment();
    environment.push_back("XDG_CONFIG_HOME=" + config.path());
    sample.server.resetCounts();
    const Finished offline = finish(start(show, environment));
    EXPECT_EQ(offline.code, 0) << offline.output;
    EXPECT_EQ(sample.server.totalRequests(), 0);

    if (geteuid() != 0)
        GTEST_SKIP() << "needs root for a network namespace";
    const Finished isolated = finish(start(show, plainEnvironment(), [] { return unshare(CLONE_NEWNET) == 0; }));
    if (isolated.code == 77)
        GTEST_SKIP() << "network namespaces are not allowed here";
    EXPECT_EQ(isolated.code, 0) << isolated.output;
    EXPECT_NE(isolated.output.find("site unreachable"), std::string::npos) << isolated.output;
    EXPECT_NE(isolated.output.find(online.output), std::string::npos);
}

// A name look-up that never answers keeps the connect time-out (15 s), and Ctrl-C still ends the program at once.
TEST(Process, ANameLookupThatNeverAnswersKeepsTheTimeLimitsAndCtrlC)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root for a mount namespace with its own resolv.conf";
    testing_support::ScratchFolder scratch;
    const std::vector<std::string> arguments{"page", "1", "--site", "http://never-answers.example", "--store",
                                             scratch.path(), "--retries", "0"};
    const auto started = std::chrono::steady_clock::now();
    const Finished timedOut = finish(startWithSilentNameServer(arguments, scratch.path()));
    if (timedOut.code == 77)
        GTEST_SKIP() << "mount namespaces are not allowed here";
    const auto took = std::chrono::steady_clock::now() - started;
    EXPECT_EQ(timedOut.code, 3) << timedOut.output;
    EXPECT_NE(timedOut.output.find("http://never-answers.example/303/index.html: "), std::string::npos)
        << timedOut.output;
    EXPECT_LT(took, std::chrono::seconds(18)) << timedOut.output;

    const Child child = startWithSilentNameServer(arguments, scratch.path());
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const auto interrupted = std::chrono::steady_clock::now();
    kill(child.pid, SIGINT);
    const Finished stopped = finish(child);
    EXPECT_EQ(stopped.code, 130) << stopped.output;
    EXPECT_LT(std::chrono::steady_clock::now() - interrupted, std::chrono::seconds(2));
}
#endif

TEST(Process, KilledAtRandomMomentsTheStoreHoldsOnlyCompleteArticlesAndAResumedRunCompletesIt)
{
    SampleServer sample;
    sample.server.setResponseDelay(std::chrono::milliseconds(25));
    const SiteAccessor site(sample.environment());
    const auto expectedFile = [](const sample::SampleArticle& article) {
        return article.title + "\r\n" + article.date + "\r\n" + testing_support::gbk("作者未知") + "\r\n" +
               article.body + "\r\n" + article.disclaimer;
    };
    std::mt19937 random(8122026);
    int kills = 0;
    for (int round = 0; round < 24; ++round) {
        // Half the kills hit a page load, half a whole-category archive; each finds work left to do.
        const int page = 1 + round % 3;
        const std::vector<std::string> command =
            round % 2 ? std::vector<std::string>{"archive"} : std::vector<std::string>{"page", std::to_string(page)};
        for (const sample::SampleArticle& article : sample.site.articlesOfPage(page))
            if (random() % 2)
                std::filesystem::remove(std::filesystem::path(site.articleFilePath(article.title)));
        std::vector<std::string> arguments = command;
        for (const std::string& word : {std::string("--site"), sample.server.baseAddress(), std::string("--store"),
                                        sample.store.path()})
            arguments.push_back(word);
        const Child child = start(arguments, plainEnvironment());
        std::this_thread::sleep_for(std::chrono::milliseconds(30 + random() % 250));
        kill(child.pid, SIGKILL);
        const Finished killed = finish(child);
        kills += killed.code == 128 + SIGKILL;
        for (const sample::SampleArticle& article : sample.site.articles()) {
            const auto content = platform::readWholeFile(site.articleFilePath(article.title));
            if (!content)
                continue;
            ASSERT_EQ(*content, expectedFile(article)) << "round " << round;
        }
    }
    EXPECT_GE(kills, 20);

    sample.server.setResponseDelay(std::chrono::milliseconds(0));
    const Finished resumed = finish(start({"archive", "--site", sample.server.baseAddress(), "--store",
                                           sample.store.path()}, plainEnvironment()));
    EXPECT_EQ(resumed.code, 0) << resumed.output;
    for (const sample::SampleArticle& article : sample.site.articles())
        EXPECT_EQ(platform::readWholeFile(site.articleFilePath(article.title)).value_or("missing"), expectedFile(article));
}

// A real window on a virtual X display, driven like a user: choose a page, then press Ctrl+Q while the page worker
// and its downloads run.
// An X server of its own on a free display number, and xdotool to act on it.
struct VirtualDisplay {
    std::string name = ":" + std::to_string(70 + getpid() % 200);
    Child server;
    std::vector<std::string> environment = plainEnvironment();

    VirtualDisplay()
    {
        server = startProgram("/usr/bin/Xvfb", {name, "-screen", "0", "800x700x24", "-nolisten", "tcp"},
                              plainEnvironment());
        environment.push_back("DISPLAY=" + name);
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
    }
    ~VirtualDisplay()
    {
        kill(server.pid, SIGTERM);
        finish(server);
    }
    Finished tool(const std::vector<std::string>& arguments) const
    {
        return finish(startProgram("/usr/bin/xdotool", arguments, environment));
    }
    // The window id of the program's window, once it shows.
    std::string findWindow() const
    {
        const Finished found = tool({"search", "--sync", "--onlyvisible", "--name", "Varnholt"});
        return found.code == 0 ? found.output.substr(0, found.output.find('\n')) : std::string();
    }
};

bool canUseVirtualDisplay()
{
    return access("/usr/bin/Xvfb", X_OK) == 0 && access("/usr/bin/xdotool", X_OK) == 0;
}

TEST(Process, WindowClosedWhileWorkersRunEndsWithExitCodeZeroWithinTwoSeconds)
{
#ifdef __SANITIZE_ADDRESS__
    GTEST_SKIP() << "a timing test: it runs in the plain build";
#endif
    if (!canUseVirtualDisplay())
        GTEST_SKIP() << "needs Xvfb and xdotool (scripts/test installs them)";
    const VirtualDisplay display;
    const std::vector<std::string>& environment = display.environment;
    const auto tool = [&](const std::vector<std::string>& arguments) { return display.tool(arguments); };

    SampleServer sample;
    sample.server.setResponseDelay(std::chrono::milliseconds(200));
    const SiteAccessor site(sample.environment());
    std::mt19937 random(20261208);
    for (int round = 0; round < 20; ++round) {
        // Every round starts with nothing stored, so that the page worker is downloading when the window closes.
        for (const sample::SampleArticle& article : sample.site.articles())
            std::filesystem::remove(std::filesystem::path(site.articleFilePath(article.title)));
        const int requestsBefore = sample.articleRequests();
        const Child child = start({"--site", sample.server.baseAddress(), "--store", sample.store.path()}, environment);
        const std::string window = display.findWindow();
        ASSERT_FALSE(window.empty());
        // The window shows before its page list is filled: the counts take an answer of 200 ms.
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        // The page list sits at 40, 96 in the window at 50, 50: open it and take a page.
        tool({"mousemove", "120", "160", "click", "1"});
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        tool({"key", "Down", "Return"});
        // The listing page takes 200 ms; then the page worker downloads one article every 200 ms.
        std::this_thread::sleep_for(std::chrono::milliseconds(350 + random() % 500));
        tool({"windowfocus", "--sync", window});
        tool({"key", "ctrl+q"});
        const auto closed = std::chrono::steady_clock::now();
        const Finished ended = finish(child);
        EXPECT_GT(sample.articleRequests(), requestsBefore)
            << "round " << round << ": no page was loading; index requests " << sample.server.requestCount("/303/index.html")
            << ", total " << sample.server.totalRequests() << "; " << ended.output;
        EXPECT_EQ(ended.code, 0) << "round " << round << ": " << ended.output;
        EXPECT_LT(std::chrono::steady_clock::now() - closed, std::chrono::seconds(2)) << "round " << round;
        EXPECT_EQ(testing_support::storedArticles(site, sample.site.articles()).incomplete, 0) << "round " << round;
    }
}

// A site that accepts connections and never answers: the window shows at once, and Ctrl+Q during the start-up
// download ends the program.
TEST(Process, ClosedDuringTheStartUpDownloadOfASiteThatNeverAnswersEndsWithinTwoSeconds)
{
#ifdef __SANITIZE_ADDRESS__
    GTEST_SKIP() << "a timing test: it runs in the plain build";
#endif
    if (!canUseVirtualDisplay())
        GTEST_SKIP() << "needs Xvfb and xdotool (scripts/test installs them)";
    const VirtualDisplay display;
    platform::LocalServer blackHole;
    // Longer than each program lives; short enough that the server's few threads are free again for later rounds.
    blackHole.setStreamedRoute("/303/index.html", {std::chrono::seconds(5), 0, {}});
    testing_support::ScratchFolder store;
    std::mt19937 random(13);
    for (int round = 0; round < 20; ++round) {
        const Child child = start({"--site", blackHole.baseAddress(), "--store", store.path()}, display.environment);
        const std::string window = display.findWindow();
        ASSERT_FALSE(window.empty()) << "round " << round;
        std::this_thread::sleep_for(std::chrono::milliseconds(random() % 300));
        display.tool({"windowfocus", "--sync", window});
        display.tool({"key", "ctrl+q"});
        const auto closed = std::chrono::steady_clock::now();
        const Finished ended = finish(child);
        EXPECT_EQ(ended.code, 0) << "round " << round << ": " << ended.output;
        EXPECT_LT(std::chrono::steady_clock::now() - closed, std::chrono::seconds(2)) << "round " << round;
        EXPECT_EQ(blackHole.requestCount("/303/index.html"), round + 1);
    }
}
