// The brell application's brells, task and insights commands, run as a user would.
#include <gtest/gtest.h>

#include "BrellMemory/db/MemoryStore.h"
#include "support/TestSupport.h"
#include "util/Json.h"

namespace brell {
namespace {

using Value = SQLiteDB::Value;

class ProjectsCommandsTest : public ::testing::Test {
protected:
    test::AppHome home;

    test::ProcessResult brell(std::vector<std::string> args, const std::map<std::string, std::string>& env = {}) {
        return home.brell(std::move(args), "", env);
    }
    std::string ok(std::vector<std::string> args, const std::map<std::string, std::string>& env = {}) {
        auto r = brell(std::move(args), env);
        EXPECT_EQ(r.exitStatus, 0) << r.err;
        EXPECT_EQ(r.err, "");
        return r.out;
    }
    // The one-line failure of a command that exits with 1.
    std::string fails(std::vector<std::string> args) {
        auto r = brell(std::move(args));
        EXPECT_EQ(r.exitStatus, 1) << r.out;
        return r.err;
    }
    std::string state(int64_t insight) {
        MemoryStore store(home.memoryPath());
        auto row = store.db.one("SELECT status, hold_reason FROM insight WHERE id = ?", {Value(insight)});
        return row ? row->text("status") + (row->optText("hold_reason") ? "/" + *row->optText("hold_reason") : "")
                   : "gone";
    }
};

TEST_F(ProjectsCommandsTest, BrellsAreAddedListedRenamedArchivedMutedAndDeleted) {
    EXPECT_EQ(ok({"brells"}), "You have no brells in use; add one with: brell brells add NAME, or see archived ones "
                              "with: brell brells list --all\n");
    EXPECT_EQ(ok({"brells", "add", "Espresso", "--keywords", "grinder, light roast"}),
              "Added brell 1 \u201cEspresso\u201d. Set its task with: brell task set 1 TITLE\n");
    EXPECT_EQ(ok({"brells", "add", " \n "}),
              "Added brell 2 \u201cUntitled project\u201d. Set its task with: brell task set 2 TITLE\n");
    // An escape sequence typed into a name never reaches the terminal.
    EXPECT_EQ(ok({"brells", "rename", "2", "Tea\u001b[31m"}), "Brell 2 is now called \u201cTea\u201d.\n");
    EXPECT_EQ(ok({"brells", "rename", "2", "Tea"}), "Brell 2 is now called \u201cTea\u201d.\n");
    EXPECT_EQ(ok({"brells", "list"}), "#2  Tea\n"
                                      "    no task yet; set one with: brell task set 2 TITLE\n"
                                      "#1  Espresso\n"
                                      "    key words: grinder, light roast\n"
                                      "    no task yet; set one with: brell task set 1 TITLE\n");
    EXPECT_EQ(ok({"brells", "mute", "espresso"}), "Brell 1 is muted: no suggestions are shown for it.\n");
    EXPECT_EQ(ok({"brells", "archive", "2"}), "Archived brell 2; its open suggestions were withdrawn.\n");
    EXPECT_EQ(ok({"brells"}), "#1  Espresso  (muted)\n"
                              "    key words: grinder, light roast\n"
                              "    no task yet; set one with: brell task set 1 TITLE\n");

    auto json = JsonText::parse(ok({"brells", "list", "--all", "--json"}));
    ASSERT_TRUE(json && json->is_array() && json->size() == 2) << ok({"brells", "list", "--all", "--json"});
    EXPECT_EQ((*json)[0]["name"], "Espresso");
    EXPECT_EQ((*json)[0]["muted"], true);
    EXPECT_EQ((*json)[0]["keywords"], "grinder, light roast");
    EXPECT_TRUE((*json)[0]["task"].is_null());
    EXPECT_EQ((*json)[1]["name"], "Tea");
    EXPECT_EQ((*json)[1]["archived"], true);

    EXPECT_EQ(ok({"brells", "unarchive", "2"}), "Brell 2 is back in the list; suggestions withdrawn while it was "
                                                "archived stay withdrawn.\n");
    EXPECT_EQ(ok({"brells", "unmute", "1"}), "Brell 1 is no longer muted.\n");
    EXPECT_EQ(ok({"brells", "delete", "Tea"}), "Deleted brell 2 \u201cTea\u201d with its tasks and suggestions.\n");
    EXPECT_EQ(ok({"brells", "list", "--all", "--json"}).find("Tea"), std::string::npos);
}

TEST_F(ProjectsCommandsTest, ABrellNamedWrongOrTwiceIsRefusedWithWhatToDo) {
    ok({"brells", "add", "Espresso"});
    ok({"brells", "add", "espresso"});
    struct Case {
        std::vector<std::string> args;
        std::string error;
    } cases[] = {
        {{"brells", "archive", "7"}, "brell: there is no brell 7; list them with: brell brells list --all\n"},
        {{"task", "show", "Tea"},
         "brell: there is no brell called \u201cTea\u201d; list them with: brell brells list --all\n"},
        {{"task", "set", "ESPRESSO", "Dial in"},
         "brell: 2 brells are called \u201cESPRESSO\u201d; name one by its id from: brell brells list --all\n"},
        {{"task", "done", "1"}, "brell: brell 1 has no task in progress; set one with: brell task set 1 TITLE\n"},
        {{"task", "set", "1", " "}, "brell: a task needs a title: brell task set 1 TITLE [--objective TEXT]\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args[0] + " " + c.args[1] + " " + c.args[2]);
        EXPECT_EQ(fails(c.args), c.error);
    }
    auto usage = brell({"brells", "add"});
    EXPECT_EQ(usage.exitStatus, 2);
}

TEST_F(ProjectsCommandsTest, TaskIsSetEditedFinishedAndShown) {
    ok({"brells", "add", "Espresso"});
    EXPECT_EQ(ok({"task", "set", "1", "Fix", "sour", "shots", "--objective", "Sweeter cups"}),
              "Brell 1 is now on the task \u201cFix sour shots\u201d.\n");
    EXPECT_EQ(ok({"task", "set", "Espresso", "Fix sour shots"}),
              "Brell 1 is already on the task \u201cFix sour shots\u201d; nothing changed.\n");

    // A suggestion made for the first wording is withdrawn by an edit.
    {
        MemoryStore store(home.memoryPath());
        store.db.exec("INSERT INTO insight(id, project_id, task_id, task_revision, fingerprint, action_signature, "
                      "evidence_hash, relationship, title, why_now, next_step, origin, score, score_detail, "
                      "eligible, consent_epoch, created_at) VALUES (1, 1, 1, 1, 'f', 'a', 'e', 'diagnosis', 't', "
                      "'w', 'n', 'template', 0.5, '{}', 0, 1, 1)");
    }
    EXPECT_EQ(ok({"task", "set", "1", "Fix bitter shots"}),
              "Changed the task of brell 1 to \u201cFix bitter shots\u201d (revision 2); suggestions made for the "
              "earlier wording were withdrawn.\n");
    EXPECT_EQ(state(1), "withdrawn/stale");
    std::string shown = ok({"task", "show", "1"});
    EXPECT_EQ(shown.substr(0, shown.find("last changed")),
              "Brell 1 \u201cEspresso\u201d\nTask: Fix bitter shots\nObjective: Sweeter cups\n"
              "In progress, revision 2, ");

    EXPECT_EQ(ok({"task", "done", "espresso"}),
              "The task \u201cFix bitter shots\u201d of brell 1 is done; its open suggestions were withdrawn.\n");
    auto json = JsonText::parse(ok({"task", "show", "1", "--json"}));
    ASSERT_TRUE(json);
    EXPECT_EQ((*json)["task"]["status"], "done");
    EXPECT_EQ((*json)["task"]["revision"], 3);
    EXPECT_EQ(ok({"task", "set", "1", "Descale"}), "Brell 1 is now on the task \u201cDescale\u201d.\n");
    json = JsonText::parse(ok({"task", "show", "1", "--json"}));
    EXPECT_EQ((*json)["task"]["revision"], 1);
    EXPECT_EQ((*json)["task"]["objective"], ""); // a new task starts without the old objective
    EXPECT_NE(ok({"brells"}).find("    task: Descale\n"), std::string::npos);
}

TEST_F(ProjectsCommandsTest, AssistantsReadTheBrellsInUseWithTheirTasksAndChangeNothing) {
    ok({"brells", "add", "Espresso", "--keywords", "grinder; light roast, ok"});
    ok({"task", "set", "1", "Fix sour shots", "--objective", "Sweeter cups"});
    ok({"brells", "add", "Tea"});
    ok({"task", "set", "2", "Steep"});
    ok({"task", "done", "2"});
    ok({"brells", "add", "Old"});
    ok({"brells", "archive", "3"});
    ok({"share", "on"});
    auto rows = [&] {
        MemoryStore store(home.memoryPath());
        std::string out;
        for (const char* query : {"SELECT * FROM project ORDER BY id", "SELECT * FROM project_task ORDER BY id"}) {
            for (const auto& row : store.db.query(query)) {
                for (const auto& [column, value] : row.values) {
                    out += column + "=" + value.text().value_or(std::to_string(value.real().value_or(0))) + ";";
                }
                out += "\n";
            }
        }
        return out;
    };
    std::string before = rows();
    auto r = home.brell({"--mcp"}, R"({"jsonrpc":"2.0","id":1,"method":"tools/call","params":{"name":"list_brells",)"
                                   R"("arguments":{}}})"
                                   "\n");
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    auto reply = JsonText::parse(r.out);
    ASSERT_TRUE(reply) << r.out;
    std::string text = (*reply)["result"]["content"][0]["text"];
    EXPECT_FALSE((*reply)["result"]["isError"].get<bool>());
    EXPECT_TRUE(text.starts_with("2 brells in the user's BRELL.")) << text;
    EXPECT_NE(text.find("- **Espresso** \u00b7 current task: Fix sour shots (aim: Sweeter cups), set "),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("keywords: grinder, light roast"), std::string::npos) << text;
    EXPECT_NE(text.find("- **Tea** \u00b7 no current task"), std::string::npos) << text; // its task is done
    EXPECT_EQ(text.find("Old"), std::string::npos) << text;                              // archived
    EXPECT_EQ(rows(), before);
}

} // namespace
} // namespace brell
