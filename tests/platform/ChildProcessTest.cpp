// Child processes: exact arguments, folder and environment, both streams drained while
// input is still being written, and every way a run can end.
#include <chrono>
#include <csignal>
#include <fstream>
#include <thread>

#include <gtest/gtest.h>

#include "platform/ChildProcess.h"
#include "platform/FileSystem.h"
#include "support/TestSupport.h"

namespace brell {
namespace {

using namespace std::chrono_literals;

ChildProcess::Options shell(const std::string& script) {
    ChildProcess::Options options;
    options.program = "/bin/sh";
    options.args = {"-c", script, "sh"};
    return options;
}

// Alive means neither gone nor a zombie waiting for a parent that will never reap it.
bool alive(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string pidField;
    std::string name;
    std::string state;
    if (!(stat >> pidField >> name >> state)) {
        return false;
    }
    return state != "Z" && state != "X";
}

TEST(ChildProcessTest, RunsWithExactlyTheGivenArgumentsFolderEnvironmentAndInput) {
    test::TempFolder tmp;
    auto options = shell(R"(printf '[%s]' "$@"; echo; pwd; env | sort; cat)");
    options.args.insert(options.args.end(), {"one", "", "two words"});
    options.workingFolder = tmp.path();
    options.environment = std::map<std::string, std::string>{{"ONLY", "this"}, {"PATH", "/usr/bin:/bin"}};
    options.input = "line one\nline two";
    auto result = ChildProcess::run(options, CancelToken());
    EXPECT_EQ(result.ending, ChildProcess::Ending::exited);
    EXPECT_EQ(result.exitStatus, 0);
    std::string realTmp = FileSystem::realPath(tmp.path()).value();
    // sh adds PWD (and may add SHLVL); nothing of ours leaks in.
    EXPECT_EQ(result.out.substr(0, result.out.find("ONLY=")), "[one][][two words]\n" + realTmp + "\n");
    EXPECT_NE(result.out.find("ONLY=this\nPATH=/usr/bin:/bin\n"), std::string::npos) << result.out;
    EXPECT_EQ(result.out.find("HOME="), std::string::npos) << result.out;
    EXPECT_TRUE(result.out.ends_with("line one\nline two")) << result.out;
    EXPECT_EQ(result.err, "");
}

TEST(ChildProcessTest, MegabytesOnBothStreamsNeverBlockTheChild) {
    // cat echoes 3 MB of input while the child also fills standard error: a runner that
    // wrote all input first, or read one stream to its end first, would deadlock here.
    auto options = shell("head -c 2000000 /dev/zero | tr '\\0' e >&2 & cat; wait");
    options.input = std::string(3'000'000, 'i');
    options.timeoutSeconds = 120;
    auto result = ChildProcess::run(options, CancelToken());
    EXPECT_EQ(result.ending, ChildProcess::Ending::exited);
    EXPECT_EQ(result.out.size(), 3'000'000u);
    EXPECT_EQ(result.out, options.input);
    EXPECT_EQ(result.err, std::string(2'000'000, 'e'));
}

TEST(ChildProcessTest, AChildThatIgnoresItsInputStillEnds) {
    auto options = shell("echo done; exit 3");
    options.input = std::string(1'000'000, 'x'); // more than a pipe holds
    auto result = ChildProcess::run(options, CancelToken());
    EXPECT_EQ(result.ending, ChildProcess::Ending::exited);
    EXPECT_EQ(result.exitStatus, 3);
    EXPECT_EQ(result.out, "done\n");
}

TEST(ChildProcessTest, StandardErrorCanGoToTheNullDevice) {
    auto options = shell("echo out; echo err >&2");
    options.keepErrors = false;
    auto result = ChildProcess::run(options, CancelToken());
    EXPECT_EQ(result.out, "out\n");
    EXPECT_EQ(result.err, "");
}

TEST(ChildProcessTest, ASignalledChildIsReportedAsSuch) {
    auto result = ChildProcess::run(shell("kill -KILL $$"), CancelToken());
    EXPECT_EQ(result.ending, ChildProcess::Ending::signalled);
    EXPECT_EQ(result.signal, SIGKILL);
}

TEST(ChildProcessTest, TheDeadlineEndsTheChildAndEverythingItStarted) {
    auto options = shell("sleep 600 & echo $!; echo partial >&2; wait");
    options.timeoutSeconds = 0.3;
    auto result = ChildProcess::run(options, CancelToken());
    EXPECT_EQ(result.ending, ChildProcess::Ending::timedOut);
    EXPECT_EQ(result.err, "partial\n") << "what it wrote before the end is kept";
    pid_t sleeper = std::stoi(result.out);
    for (int i = 0; i < 100 && alive(sleeper); ++i) {
        std::this_thread::sleep_for(20ms);
    }
    EXPECT_FALSE(alive(sleeper));
}

TEST(ChildProcessTest, AChildThatIgnoresTerminationIsKilled) {
    auto options = shell("trap '' TERM; echo ready; while :; do sleep 1; done");
    options.timeoutSeconds = 0.2;
    auto result = ChildProcess::run(options, CancelToken());
    EXPECT_EQ(result.ending, ChildProcess::Ending::timedOut);
    EXPECT_EQ(result.out, "ready\n");
}

TEST(ChildProcessTest, CancellationEndsTheChild) {
    CancelToken token;
    std::thread canceller([token] {
        std::this_thread::sleep_for(50ms);
        token.cancel();
    });
    auto result = ChildProcess::run(shell("sleep 600"), token);
    canceller.join();
    EXPECT_EQ(result.ending, ChildProcess::Ending::cancelled);
}

TEST(ChildProcessTest, AProgramThatCannotStartThrows) {
    ChildProcess::Options missing;
    missing.program = "/nonexistent/program";
    try {
        ChildProcess::run(missing, CancelToken());
        FAIL() << "started";
    } catch (const ChildProcess::StartError& e) {
        EXPECT_STREQ(e.what(), "failed to start /nonexistent/program: No such file or directory");
    }

    auto elsewhere = shell("true");
    elsewhere.workingFolder = "/nonexistent/folder";
    EXPECT_THROW(ChildProcess::run(elsewhere, CancelToken()), ChildProcess::StartError);
}

TEST(ChildProcessTest, CurrentEnvironmentReadsThisProcess) {
    ::setenv("BRELL_CHILD_PROCESS_TEST", "a=b", 1);
    auto all = ChildProcess::currentEnvironment();
    ::unsetenv("BRELL_CHILD_PROCESS_TEST");
    EXPECT_EQ(all["BRELL_CHILD_PROCESS_TEST"], "a=b");
}

} // namespace
} // namespace brell
