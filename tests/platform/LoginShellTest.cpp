// Asking the login shell where a program lives: only an absolute path is believed, and
// a shell that hangs is ended.
#include <cstdlib>

#include <gtest/gtest.h>

#include "platform/FileSystem.h"
#include "platform/LoginShell.h"
#include "support/TestSupport.h"

namespace brell {
namespace {

class LoginShellTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (const char* shell = std::getenv("SHELL")) {
            saved = shell;
        }
    }
    void TearDown() override {
        if (saved) {
            ::setenv("SHELL", saved->c_str(), 1);
        } else {
            ::unsetenv("SHELL");
        }
    }

    // A shell that records its arguments and runs `body`.
    void fakeShell(const std::string& body) {
        std::string path = tmp.file("shell");
        FileSystem::writeAtomically(path,
                                    "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" + tmp.file("argv") + "'\n" + body + "\n");
        FileSystem::setPermissions(path, 0700);
        ::setenv("SHELL", path.c_str(), 1);
    }

    test::TempFolder tmp;
    std::optional<std::string> saved;
};

TEST_F(LoginShellTest, TheUsersShellIsAskedAsALoginShell) {
    fakeShell("echo '  /home/someone/.local/bin/claude  '");
    EXPECT_EQ(LoginShell::path(), tmp.file("shell"));
    EXPECT_EQ(LoginShell::commandPath("claude"), "/home/someone/.local/bin/claude");
    EXPECT_EQ(FileSystem::read(tmp.file("argv")), "-lc\ncommand -v claude\n");
}

TEST_F(LoginShellTest, OnlyAnAbsolutePathIsAnAnswer) {
    struct Case {
        const char* name;
        const char* body;
    };
    const Case cases[] = {
        {"alias", "echo \"alias claude='npx claude'\""},
        {"nothing", "exit 1"},
        {"relative", "echo bin/claude"},
        {"errors only", "echo /usr/bin/claude >&2"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fakeShell(c.body);
        EXPECT_EQ(LoginShell::commandPath("claude"), std::nullopt);
    }
}

TEST_F(LoginShellTest, AShellThatHangsIsEndedWithoutAnAnswer) {
    fakeShell("echo /usr/bin/claude; exec sleep 600");
    EXPECT_EQ(LoginShell::commandPath("claude", std::chrono::milliseconds(200)), std::nullopt);
}

TEST_F(LoginShellTest, AShellThatIsNotExecutableIsPassedOver) {
    ::setenv("SHELL", tmp.file("missing").c_str(), 1);
    EXPECT_NE(LoginShell::path(), tmp.file("missing"));
    EXPECT_EQ(LoginShell::path().front(), '/');
}

} // namespace
} // namespace brell
