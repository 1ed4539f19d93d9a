// The brell application's brells, task and insights commands, run as a user would.
#include <gtest/gtest.h>

#include "BrellMemory/db/MemoryStore.h"
#include "support/LoopbackHTTPServer.h"
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

// A lecture imported by the user and played only for its first seconds, and an article
// read whole: a brell about spring tides has one passage not yet seen and one to compare.
class InsightsCommandsTest : public ProjectsCommandsTest {
protected:
    void SetUp() override {
        ok({"memory", "on"});
        ok({"import", "transcript", std::string(BRELL_TEST_DATA) + "/../../demo/lecture.vtt", "--video",
            "https://www.youtube.com/watch?v=floodDemo01", "--title", "Storm surges"});
        MemoryStore store(home.memoryPath());
        store.db.exec(
            "INSERT INTO session(id, source_id, active_wall_ms, started_at, last_seen) "
            "SELECT 'lecture', id, 21000, strftime('%s','now'), strftime('%s','now') FROM source;"
            "INSERT INTO exposure(session_id, kind, start_ms, end_ms) VALUES ('lecture', 'range', 0, 5000),"
            "('lecture', 'played', 0, 5000);"
            "INSERT INTO source(id, key, kind, url, title, origin, first_seen, last_seen) VALUES (50, "
            "'article:https://oceans.example.org/range', 'article', 'https://oceans.example.org/range', "
            "'Tidal range', 'https://oceans.example.org', strftime('%s','now'), strftime('%s','now'));"
            "INSERT INTO chunk(id, source_id, kind, text, heading, locator, retrieved_at, content_hash) VALUES "
            "(500, 50, 'article', 'Spring tides bring the largest range; a storm surge on top of one floods "
            "most.', 'Spring tides', 'p1', 1, 'h500');");
        lecture = store.db.one("SELECT id FROM chunk WHERE kind = 'transcript'")->integer("id");
        ok({"brells", "add", "Coastal flooding", "--keywords", "storm surge, spring tide"});
        ok({"task", "set", "1", "Explain spring tides", "--objective", "Why storm surges are worst at spring tides"});
    }
    int64_t lecture = 0;
};

TEST_F(InsightsCommandsTest, WithoutAIATemplateIsPreparedAndShownOnlyWhenAsked) {
    EXPECT_EQ(ok({"insights", "prepare", "Coastal flooding"}),
              "Prepared a suggestion from your memory alone, without AI: no AI provider is chosen; choose one with: "
              "brell ai use PROVIDER.\nIt is kept for you to look at, never pushed: brell insights next 1\n");
    EXPECT_EQ(ok({"insights", "prepare", "1"}),
              "Nothing changed in the passages for this task since the last preparation; prepare anew with: brell "
              "insights prepare 1 --force\nAI is not asked: no AI provider is chosen; choose one with: brell ai use "
              "PROVIDER.\n");
    std::string card = ok({"insights", "next", "1"});
    EXPECT_TRUE(card.starts_with("Suggestion 1 for brell 1 \u201cCoastal flooding\u201d (held back: made without "
                                 "AI)\nRevisit 00:12 in \u201cStorm surges\u201d\n"))
        << card;
    EXPECT_NE(card.find("Storm surges \u00b7 00:"), std::string::npos) << card;
    EXPECT_NE(card.find(" \u2014 Outside watched intervals\n"), std::string::npos) << card;
    EXPECT_NE(card.find("https://www.youtube.com/watch?v=floodDemo01#t="), std::string::npos) << card;
    EXPECT_NE(card.find("Made from your memory without AI.\n"), std::string::npos) << card;
    EXPECT_EQ(state(1), "new/low_value"); // shown on request, never pushed

    EXPECT_EQ(ok({"insights", "feedback", "1", "dismissed"}),
              "Suggestion 1 is dismissed. Its step will not be proposed again for this brell.\n");
    EXPECT_EQ(ok({"insights", "restore", "1"}), "Suggestion 1 is back among the ones shown.\n");
    EXPECT_EQ(fails({"insights", "restore", "1"}),
              "brell: suggestion 1 is shown; only dismissed, known, not relevant or wrong-brell suggestions can be "
              "restored\n");
    EXPECT_EQ(fails({"insights", "feedback", "1", "mute_source"}),
              "brell: name the source to mute with --source ID (the sources are listed by: brell sources)\n");
    EXPECT_EQ(fails({"insights", "feedback", "9", "useful"}),
              "brell: there is no suggestion 9; list them with: brell insights list BRELL\n");

    // Editing the task withdraws it for good.
    ok({"task", "set", "1", "Explain neap tides"});
    EXPECT_EQ(state(1), "withdrawn/stale");
    EXPECT_EQ(ok({"insights", "feedback", "1", "saved"}),
              "Noted. Suggestion 1 was withdrawn and stays so; its step will not be proposed again.\n");
    EXPECT_EQ(state(1), "withdrawn/stale");
    auto json = JsonText::parse(ok({"insights", "list", "1", "--status", "withdrawn", "--json"}));
    ASSERT_TRUE(json && json->size() == 1);
    EXPECT_EQ((*json)[0]["status"], "withdrawn");
    EXPECT_EQ((*json)[0]["origin"], "template");
    EXPECT_EQ((*json)[0]["evidence"].size(), 2u);
}

TEST_F(InsightsCommandsTest, InTestModeTheMockModelIsAskedOnlyWhenAllowed) {
    std::map<std::string, std::string> mock = {{"BRELL_MOCK_AI", "1"}};
    ok({"ai", "use", "anthropic"}, mock);
    EXPECT_EQ(ok({"insights", "prepare", "1"}, mock),
              "Prepared a suggestion from your memory alone, without AI: you have not allowed sending passages of "
              "your memory to Claude API (key); allow it with: brell insights allow-ai on.\nIt is kept for you to "
              "look at, never pushed: brell insights next 1\n");
    ok({"insights", "allow-ai", "on"});
    ok({"insights", "proactive", "off"});
    EXPECT_NE(ok({"insights", "prepare", "1"}, mock).find("proactive suggestions are off"), std::string::npos);
    ok({"insights", "proactive", "on"});
    EXPECT_EQ(ok({"insights", "prepare", "1"}, mock),
              "Asked Mock \u00b7 test mode about the task of brell 1: 1 suggestion prepared.\n");
    std::string card = ok({"insights", "next", "1"});
    EXPECT_TRUE(card.starts_with("Suggestion ")) << card;
    EXPECT_EQ(card.find("held back"), std::string::npos) << card;
    EXPECT_NE(card.find("Written by Mock \u00b7 test mode.\n"), std::string::npos) << card;
    EXPECT_EQ(ok({"insights", "next", "1"}), card); // the same context, the same card
    EXPECT_EQ(ok({"insights", "next", "1", "--context", "2"}),
              "A suggestion for brell 1 was shown less than 30 minutes ago; ask again later.\n");
    ok({"insights", "snooze", "30"});
    EXPECT_TRUE(ok({"insights", "next", "1"}).starts_with("Suggestions are snoozed until ")) << card;
}

TEST_F(InsightsCommandsTest, ACloudProviderOnLoopbackProposesAndVerifies) {
    test::LoopbackHTTPServer server;
    std::string l = "c" + std::to_string(lecture);
    // One reply serves both calls: the proposer reads "candidate", the verifier "claims".
    Json answer = {
        {"candidate",
         {{"relationship", "diagnosis"},
          {"projectId", "p1"},
          {"taskId", "t1"},
          {"title", "Compare surge timing with the spring tide"},
          {"whyNow", "Your task asks why surges are worst at spring tides"},
          {"nextStep", "Note the spring tide height and add the surge height on top"},
          {"expectedOutcome", "A flood level above the barrier limit"},
          {"uncertainty", nullptr},
          {"evidence", Json::array({{{"chunkId", l}, {"role", "cause"}, {"claim", "surge on top of a spring tide"}},
                                    {{"chunkId", "c500"}, {"role", "corroboration"}, {"claim", "largest range"}}})},
          {"dedupeKey", "x"}}},
        {"claims", Json::array({{{"index", 0}, {"verdict", "supported"}}, {{"index", 1}, {"verdict", "supported"}}})},
        {"differences", nullptr},
        {"actionFollows", true}};
    server.reply({200, Json{{"content", Json::array({{{"type", "text"}, {"text", answer.dump()}}})}}.dump()});
    std::map<std::string, std::string> env = {{"ANTHROPIC_BASE_URL", server.baseURL()},
                                              {"ANTHROPIC_API_KEY", "sk-test"}};
    ok({"ai", "use", "anthropic"}, env);
    ok({"insights", "allow-ai", "on"});
    EXPECT_EQ(ok({"insights", "prepare", "1"}, env),
              "Asked Claude \u00b7 claude-opus-5-5 about the task of brell 1: 1 suggestion prepared.\n");
    auto requests = server.requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_NE(requests[0].body.find("\\\"taskId\\\":\\\"t1\\\""), std::string::npos) << requests[0].body;
    EXPECT_EQ(requests[0].header("x-api-key"), "sk-test");
    std::string card = ok({"insights", "next", "1"});
    EXPECT_TRUE(card.find("Compare surge timing with the spring tide\n") != std::string::npos) << card;
    EXPECT_NE(card.find("Expected: A flood level above the barrier limit\n"), std::string::npos) << card;
    EXPECT_NE(card.find("Written by Claude \u00b7 claude-opus-5-5.\n"), std::string::npos) << card;
    EXPECT_NE(card.find("\u201csurge on top of a spring tide\u201d"), std::string::npos) << card;

    // A provider that fails leaves the suggestion made without AI.
    server.reply({500, "{}"});
    EXPECT_EQ(ok({"insights", "prepare", "1", "--force"}, env),
              "Prepared a suggestion from your memory alone, without AI: Claude \u00b7 claude-opus-5-5 failed or did "
              "not answer in time.\nIt is kept for you to look at, never pushed: brell insights next 1\n");
}

} // namespace
} // namespace brell
