// The Claude Code runner against a fake `claude` in a temporary home: how it is found,
// what it is given, what is read back, and that nothing of a run is left behind.
#include <filesystem>
#include <thread>

#include <gtest/gtest.h>

#include "BrellCore/ai/ClaudeCodeCLI.h"
#include "ScopedEnvironment.h"
#include "platform/ChildProcess.h"
#include "platform/FileSystem.h"
#include "support/TestSupport.h"
#include "util/Text.h"

namespace brell {
namespace {

using Failure = ClaudeCodeCLI::Failure;

std::vector<std::string> splitNul(const std::string& text) {
    std::vector<std::string> parts;
    std::string part;
    for (char c : text) {
        if (c == '\0') {
            parts.push_back(part);
            part.clear();
        } else {
            part += c;
        }
    }
    return parts;
}

std::vector<std::string> folderEntries(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    return names;
}

class ClaudeCodeCLITest : public ::testing::Test {
protected:
    void SetUp() override {
        FileSystem::makeFolders(home + "/.local/bin");
        FileSystem::makeFolders(scratch);
        env.set("HOME", home);
        env.set("TMPDIR", scratch);
        env.set("ANTHROPIC_API_KEY", "sk-never-pass-this-on");
        env.set("ANTHROPIC_AUTH_TOKEN", "token-never-pass-this-on");
        env.set("PATH", "/usr/bin:/bin");
        writeScript(tmp.file("shell"), "echo called >> '" + tmp.file("shell-calls") + "'");
        env.set("SHELL", tmp.file("shell"));
        ClaudeCodeCLI::resetLocation();
    }
    void TearDown() override { ClaudeCodeCLI::resetLocation(); }

    static void writeScript(const std::string& path, const std::string& body) {
        FileSystem::writeAtomically(path, "#!/bin/sh\n" + body + "\n");
        FileSystem::setPermissions(path, 0700);
    }

    // A claude that records argv, folder, environment and input, then runs `then`.
    void fakeClaude(const std::string& then) {
        writeScript(claude, "rec=\"$HOME/record\"; mkdir -p \"$rec\"\n"
                            "printf '%s\\0' \"$@\" > \"$rec/argv\"\n"
                            "pwd > \"$rec/cwd\"\n"
                            "env > \"$rec/env\"\n"
                            "cat > \"$rec/stdin\"\n" +
                                then);
    }
    std::string recorded(const std::string& name) { return FileSystem::read(home + "/record/" + name).value_or(""); }

    Json run(const std::optional<std::string>& model = std::nullopt,
             const std::optional<std::string>& effort = std::string("low"), double timeout = 30,
             const CancelToken& cancel = CancelToken()) {
        return ClaudeCodeCLI::run("System text", "the input\nsecond line", schema, model, effort, timeout, cancel);
    }

    test::TempFolder tmp;
    std::string home = tmp.file("home");
    std::string scratch = tmp.file("scratch");
    std::string claude = home + "/.local/bin/claude";
    OrderedJson schema = {{"type", "object"}, {"required", {"a"}}};
    test::ScopedEnvironment env;
};

TEST_F(ClaudeCodeCLITest, RunsTheProgramWithTheExactArgumentsInAFreshFolderThatIsRemoved) {
    fakeClaude(R"(echo '{"type":"result","is_error":false,"structured_output":{"a":"yes"}}')");
    EXPECT_EQ(run("claude-sonnet-5", "low"), Json::parse(R"({"a":"yes"})"));

    EXPECT_EQ(splitNul(recorded("argv")),
              (std::vector<std::string>{"-p", "--output-format", "json", "--tools", "", "--strict-mcp-config",
                                        "--disable-slash-commands", "--no-session-persistence", "--system-prompt",
                                        "System text", "--json-schema", R"({"type":"object","required":["a"]})",
                                        "--model", "claude-sonnet-5", "--effort", "low"}));
    EXPECT_EQ(recorded("stdin"), "the input\nsecond line");
    std::string cwd = Text::trim(recorded("cwd"));
    std::string folder = FileSystem::fileName(cwd);
    EXPECT_EQ(FileSystem::parentFolder(cwd), FileSystem::realPath(scratch).value());
    ASSERT_EQ(folder.size(), std::string("brell-claude-").size() + 36) << folder;
    EXPECT_TRUE(folder.starts_with("brell-claude-"));
    for (char c : folder.substr(13)) {
        EXPECT_TRUE(c == '-' || (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F')) << folder;
    }
    EXPECT_TRUE(folderEntries(scratch).empty()) << "the working folder is removed";
}

TEST_F(ClaudeCodeCLITest, TheProgramNeverSeesAnAPIKey) {
    fakeClaude(R"(echo '{"structured_output":{}}')");
    run();
    std::string environment = recorded("env");
    EXPECT_EQ(environment.find("ANTHROPIC_API_KEY"), std::string::npos);
    EXPECT_EQ(environment.find("ANTHROPIC_AUTH_TOKEN"), std::string::npos);
    EXPECT_EQ(environment.find("never-pass-this-on"), std::string::npos);
    EXPECT_NE(environment.find("\nHOME=" + home + "\n"), std::string::npos) << environment;
    EXPECT_NE(environment.find("\nPATH=" + home + "/.local/bin:/opt/homebrew/bin:/usr/local/bin:" + home +
                               "/.local/bin:/usr/bin:/bin\n"),
              std::string::npos)
        << environment;
}

TEST_F(ClaudeCodeCLITest, ArgumentsForModelAndEffort) {
    struct Case {
        const char* name;
        std::optional<std::string> model;
        std::optional<std::string> effort;
        std::vector<std::string> tail;
    };
    const Case cases[] = {
        {"no model, no effort", std::nullopt, std::nullopt, {}},
        {"blank model", " \t ", std::nullopt, {}},
        {"empty effort still passed", std::nullopt, "", {"--effort", ""}},
        {"model kept as given", " opus ", "low", {"--model", " opus ", "--effort", "low"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto args = ClaudeCodeCLI::arguments("S", "{}", c.model, c.effort);
        ASSERT_GE(args.size(), 12u);
        EXPECT_EQ(std::vector<std::string>(args.begin() + 12, args.end()), c.tail);
    }
}

TEST_F(ClaudeCodeCLITest, EnvironmentWithoutAnInheritedPath) {
    auto environment = ClaudeCodeCLI::environment({{"ANTHROPIC_API_KEY", "k"}, {"LANG", "C"}}, "/h", "/opt/x");
    EXPECT_EQ(environment, (std::map<std::string, std::string>{
                               {"HOME", "/h"},
                               {"LANG", "C"},
                               {"PATH", "/h/.local/bin:/opt/homebrew/bin:/usr/local/bin:/opt/x:/usr/bin:/bin:/usr/"
                                        "sbin:/sbin"}}));
}

TEST_F(ClaudeCodeCLITest, ReadingTheResult) {
    const std::string longText(300, 'x');
    struct Case {
        const char* name;
        std::string out;
        std::string err;
        int status;
        std::optional<Json> answer;
        std::optional<Failure> failure;
    };
    const Case cases[] = {
        {"structured output", R"({"structured_output":{"a":1},"result":"{\"b\":2}"})", "", 0, Json::parse(R"({"a":1})"),
         std::nullopt},
        {"result holding an object", R"({"result":"{\"b\":2}"})", "", 0, Json::parse(R"({"b":2})"), std::nullopt},
        {"structured output not an object", R"({"structured_output":[1],"result":"{\"b\":2}"})", "", 0,
         Json::parse(R"({"b":2})"), std::nullopt},
        {"result in prose", R"({"result":"Here you are."})", "", 0, std::nullopt, Failure::malformed()},
        {"result holding an array", R"({"result":"[1]"})", "", 0, std::nullopt, Failure::malformed()},
        {"error asking to log in", R"({"is_error":true,"result":"Please run /login first"})", "", 1, std::nullopt,
         Failure::notSignedIn("Please run /login first")},
        {"error asking to Log In", R"({"is_error":true,"result":"You must Log In."})", "", 1, std::nullopt,
         Failure::notSignedIn("You must Log In.")},
        {"other error", R"({"is_error":true,"result":"Overloaded"})", "", 1, std::nullopt,
         Failure::failed("Overloaded")},
        {"error without text", R"({"is_error":true,"result":5})", "", 1, std::nullopt,
         Failure::failed("Claude Code reported an error")},
        {"long error cut", R"({"is_error":true,"result":")" + longText + R"("})", "", 1, std::nullopt,
         Failure::failed(std::string(200, 'x'))},
        {"is_error false is no error", R"({"is_error":false,"structured_output":{}})", "", 0, Json::object(),
         std::nullopt},
        {"authentication on stderr", "", "  Invalid API key \u00B7 Please run auth  \n", 1, std::nullopt,
         Failure::notSignedIn("Invalid API key \u00B7 Please run auth")},
        {"login on stderr", "not json", "Not logged in. Run: claude login", 1, std::nullopt,
         Failure::notSignedIn("Not logged in. Run: claude login")},
        {"other stderr", "[]", "boom\n", 2, std::nullopt, Failure::failed("boom")},
        {"stderr with bad bytes", "", "bad \xff byte", 2, std::nullopt, Failure::failed("bad \uFFFD byte")},
        {"silent failure", "", " \n", 1, std::nullopt, Failure::failed("Claude Code exited with status 1")},
        {"silent success", "", "", 0, std::nullopt, Failure::failed("Claude Code exited with status 0")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        try {
            Json answer = ClaudeCodeCLI::readResult(c.out, c.err, c.status);
            EXPECT_EQ(c.answer, answer);
        } catch (const Failure& f) {
            ASSERT_TRUE(c.failure.has_value()) << f.what();
            EXPECT_EQ(f, *c.failure) << f.message();
        }
    }
}

TEST_F(ClaudeCodeCLITest, OutcomesOfARealRun) {
    struct Case {
        const char* name;
        const char* script;
        ExplainError error;
    };
    const Case cases[] = {
        {"not signed in", R"(echo '{"is_error":true,"result":"Invalid API key. Please run /login"}'; exit 1)",
         ExplainError::unavailable("Claude Code isn't signed in. Open Terminal, run claude once and sign in with "
                                   "your Claude account.")},
        {"silent exit 1", "exit 1",
         ExplainError::unavailable("Claude Code couldn't answer: Claude Code exited with "
                                   "status 1")},
        {"prose", R"(echo '{"result":"I cannot produce JSON."}')", ExplainError::invalidResponse()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fakeClaude(c.script);
        try {
            run();
            ADD_FAILURE() << "no failure";
        } catch (const Failure& f) {
            EXPECT_EQ(ClaudeCodeCLI::explainError(f), c.error) << ClaudeCodeCLI::explainError(f).message();
        }
        EXPECT_TRUE(folderEntries(scratch).empty());
    }
}

TEST_F(ClaudeCodeCLITest, AProgramThatNeverEndsIsKilledAtTheTimeout) {
    fakeClaude("echo started > \"$rec/started\"; exec sleep 600");
    try {
        run(std::nullopt, "low", 0.3);
        FAIL() << "no timeout";
    } catch (const Failure& f) {
        EXPECT_EQ(f, Failure::timeout());
        EXPECT_EQ(ClaudeCodeCLI::explainError(f), ExplainError::timeout());
    }
    EXPECT_EQ(recorded("started"), "started\n");
    EXPECT_TRUE(folderEntries(scratch).empty()) << "the working folder is removed";
}

TEST_F(ClaudeCodeCLITest, CancellationEndsTheRunAndRemovesTheFolder) {
    fakeClaude("exec sleep 600");
    CancelToken cancel;
    std::thread canceller([cancel] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        cancel.cancel();
    });
    try {
        run(std::nullopt, "low", 600, cancel);
        ADD_FAILURE() << "not cancelled";
    } catch (const ExplainError& e) {
        EXPECT_EQ(e, ExplainError::cancelled());
    }
    canceller.join();
    EXPECT_TRUE(folderEntries(scratch).empty());
}

TEST_F(ClaudeCodeCLITest, LocatingAsksTheLoginShellOnceThenFallsBackInOrder) {
    EXPECT_EQ(ClaudeCodeCLI::searchPaths("/h"),
              (std::vector<std::string>{"/h/.local/bin/claude", "/h/.claude/local/claude", "/opt/homebrew/bin/claude",
                                        "/usr/local/bin/claude", "/h/.npm-global/bin/claude"}));

    fakeClaude("true");
    EXPECT_EQ(ClaudeCodeCLI::locate(), claude) << "the shell printed nothing; the first fallback wins";
    FileSystem::remove(claude);
    EXPECT_EQ(ClaudeCodeCLI::locate(), claude) << "the answer is cached";
    EXPECT_EQ(FileSystem::read(tmp.file("shell-calls")), "called\n") << "the shell ran once";

    ClaudeCodeCLI::resetLocation();
    FileSystem::makeFolders(home + "/.npm-global/bin");
    writeScript(home + "/.npm-global/bin/claude", "true");
    // Not executable: passed over.
    FileSystem::writeAtomically(home + "/.claude/local/claude", "");
    auto found = ClaudeCodeCLI::locate();
    if (!ChildProcess::isExecutable("/opt/homebrew/bin/claude") &&
        !ChildProcess::isExecutable("/usr/local/bin/claude")) {
        EXPECT_EQ(found, home + "/.npm-global/bin/claude");
    }
}

TEST_F(ClaudeCodeCLITest, TheLoginShellsAnswerComesFirst) {
    std::string elsewhere = tmp.file("elsewhere/claude");
    FileSystem::makeFolders(tmp.file("elsewhere"));
    writeScript(elsewhere, "true");
    fakeClaude("true");
    writeScript(tmp.file("shell"), "echo '" + elsewhere + "'");
    EXPECT_EQ(ClaudeCodeCLI::locate(), elsewhere);

    ClaudeCodeCLI::resetLocation();
    writeScript(tmp.file("shell"), "echo '" + tmp.file("elsewhere/missing") + "'");
    EXPECT_EQ(ClaudeCodeCLI::locate(), claude) << "an answer that is not an executable is passed over";
}

TEST_F(ClaudeCodeCLITest, NotInstalled) {
    auto found = ClaudeCodeCLI::locate();
    if (found) {
        GTEST_SKIP() << "this machine has claude at " << *found;
    }
    try {
        run();
        FAIL() << "ran";
    } catch (const Failure& f) {
        EXPECT_EQ(f, Failure::notInstalled());
        ExplainError shown = ClaudeCodeCLI::explainError(f);
        EXPECT_EQ(shown.message(), "Claude Code isn't installed. Install it from https://claude.ai and sign in, or "
                                   "choose another provider in Settings \u2192 AI.");
        EXPECT_EQ(Text::characterCount(shown.message()), 120u);
    }
}

TEST_F(ClaudeCodeCLITest, FailuresAreTranslated) {
    EXPECT_EQ(ClaudeCodeCLI::explainError(Failure::failed("Overloaded")),
              ExplainError::unavailable("Claude Code couldn't answer: Overloaded"));
    EXPECT_EQ(ClaudeCodeCLI::explainError(Failure::malformed()), ExplainError::invalidResponse());
    EXPECT_EQ(Failure::failed(std::string(250, 'y')).message(), std::string(200, 'y'));
}

} // namespace
} // namespace brell
