// Projects (brells) and their tasks in the store.
#include <gtest/gtest.h>

#include "BrellMemory/insights/InsightMemory.h"

namespace brell {
namespace {

using Value = SQLiteDB::Value;

class ProjectTest : public ::testing::Test, protected test::InsightMemory {};

TEST_F(ProjectTest, NamesAndKeywordsAreTrimmedAndCutByCharacters) {
    std::string e = "e\u0301"; // one character, two code points
    struct Case {
        const char* name;
        std::string givenName;
        std::string givenKeywords;
        std::string name_;
        std::string keywords;
    } cases[] = {
        {"blank name", "   \n\t ", "", "Untitled project", ""},
        {"empty name", "", "k", "Untitled project", "k"},
        {"100 characters keep 80", std::string(100, 'n'), "", std::string(80, 'n'), ""},
        {"trimmed before the cut", "\n  " + std::string(80, 'a') + "b  ", "", std::string(80, 'a'), ""},
        {"characters, not bytes",
         [&] {
             std::string s;
             for (int i = 0; i < 81; ++i) {
                 s += e;
             }
             return s;
         }(),
         "",
         [&] {
             std::string s;
             for (int i = 0; i < 80; ++i) {
                 s += e;
             }
             return s;
         }(),
         ""},
        {"keywords cut, not trimmed", "Espresso", "  grinder, " + std::string(400, 'k'), "Espresso",
         "  grinder, " + std::string(289, 'k')},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        int64_t id = store.createProject(c.givenName, c.givenKeywords);
        auto p = store.project(id);
        ASSERT_TRUE(p);
        EXPECT_EQ(p->name, c.name_);
        EXPECT_EQ(p->keywords, c.keywords);
        EXPECT_EQ(p->createdAt, clock);
        // Renaming follows the same rules.
        ASSERT_TRUE(store.updateProject(id, c.givenName, c.givenKeywords));
        EXPECT_EQ(store.project(id)->name, c.name_);
        EXPECT_EQ(store.project(id)->keywords, c.keywords);
    }
}

TEST_F(ProjectTest, ListShowsUnarchivedNewestFirstWithTheirCurrentTask) {
    int64_t old = store.createProject("Old", "");
    clock += 10;
    int64_t archived = store.createProject("Archived", "");
    clock += 10;
    int64_t fresh = store.createProject("Fresh", "kw");
    store.setTask(fresh, "Tune", "Sweeter shots");
    ASSERT_TRUE(store.setProjectArchived(archived, true));
    ASSERT_TRUE(store.setProjectMuted(old, true));

    auto names = [](const std::vector<Project>& ps) {
        std::vector<std::string> out;
        for (const auto& p : ps) {
            out.push_back(p.name);
        }
        return out;
    };
    EXPECT_EQ(names(store.projects(false)), (std::vector<std::string>{"Fresh", "Old"}));
    EXPECT_EQ(names(store.projects(true)), (std::vector<std::string>{"Fresh", "Old", "Archived"}));
    auto all = store.projects(true);
    ASSERT_TRUE(all[0].task);
    EXPECT_EQ(all[0].task->title, "Tune");
    EXPECT_EQ(all[0].task->objective, "Sweeter shots");
    EXPECT_EQ(all[0].task->revision, 1);
    EXPECT_TRUE(all[0].task->isActive());
    EXPECT_EQ(all[0].keywords, "kw");
    EXPECT_TRUE(all[1].muted);
    EXPECT_FALSE(all[1].task);
    EXPECT_TRUE(all[2].archived);
    EXPECT_EQ(store.project(archived)->name, "Archived"); // found among archived ones too
    EXPECT_FALSE(store.project(999));
}

TEST_F(ProjectTest, OperationsOnAMissingProjectSayItIsMissing) {
    EXPECT_FALSE(store.updateProject(9, "x", ""));
    EXPECT_FALSE(store.setProjectArchived(9, true));
    EXPECT_FALSE(store.setProjectMuted(9, true));
    EXPECT_FALSE(store.deleteProject(9));
    EXPECT_FALSE(store.completeTask(9));
    EXPECT_FALSE(store.currentTask(9));
    EXPECT_THROW(store.setTask(9, "Title", ""), SQLiteDB::DBError); // its foreign key
}

TEST_F(ProjectTest, SettingTheSameTaskTwiceChangesNothing) {
    auto [project, task] = addProject("Espresso", "Fix sour shots");
    int64_t open = addInsight(project, {.status = "new"});
    clock += 60;
    auto again = store.setTask(project, "  Fix sour shots\n", "");
    ASSERT_TRUE(again);
    EXPECT_EQ(again->id, task);
    EXPECT_EQ(again->revision, 1);
    EXPECT_EQ(again->updatedAt, clock - 60);
    EXPECT_EQ(state(open), "new");
}

TEST_F(ProjectTest, EditingTheTaskRaisesItsRevisionAndWithdrawsItsOpenInsights) {
    auto [project, task] = addProject("Espresso", "Fix sour shots");
    auto [other, otherTask] = addProject("Tea", "Steep");
    int64_t fresh = addInsight(project, {.status = "new"});
    int64_t shown = addInsight(project, {.status = "shown"});
    int64_t saved = addInsight(project, {.status = "saved"});
    int64_t dismissed = addInsight(project, {.status = "dismissed"});
    int64_t elsewhere = addInsight(other, {.status = "new"});
    clock += 60;
    auto edited = store.setTask(project, "Fix sour shots", "Only the objective changes");
    ASSERT_TRUE(edited);
    EXPECT_EQ(edited->id, task);
    EXPECT_EQ(edited->revision, 2);
    EXPECT_EQ(edited->objective, "Only the objective changes");
    EXPECT_EQ(edited->updatedAt, clock);
    EXPECT_EQ(state(fresh), "withdrawn/stale");
    EXPECT_EQ(state(shown), "withdrawn/stale");
    EXPECT_EQ(state(saved), "saved");
    EXPECT_EQ(state(dismissed), "dismissed");
    EXPECT_EQ(state(elsewhere), "new");
    EXPECT_EQ(store.currentTask(other)->id, otherTask);
}

TEST_F(ProjectTest, AfterCompletionANewTaskStartsAtRevisionOne) {
    auto [project, task] = addProject("Espresso", "Fix sour shots");
    int64_t open = addInsight(project, {.status = "shown"});
    clock += 60;
    ASSERT_TRUE(store.completeTask(task));
    auto done = store.currentTask(project);
    ASSERT_TRUE(done); // the finished task is current until another starts
    EXPECT_EQ(done->id, task);
    EXPECT_EQ(done->status, "done");
    EXPECT_EQ(done->revision, 2);
    EXPECT_EQ(state(open), "withdrawn/stale");

    clock += 60;
    auto next = store.setTask(project, "Fix sour shots", "");
    ASSERT_TRUE(next);
    EXPECT_NE(next->id, task);
    EXPECT_EQ(next->revision, 1);
    EXPECT_TRUE(next->isActive());
    EXPECT_EQ(store.currentTask(project), next);
    EXPECT_EQ(store.db.one("SELECT revision FROM project_task WHERE id = ?", {Value(task)})->integer("revision"), 2);
}

TEST_F(ProjectTest, TitlesAndObjectivesAreTrimmedAndCut) {
    auto [project, task] = addProject("Espresso", "t");
    auto t = store.setTask(project, "\n " + std::string(130, 't') + " ", " " + std::string(700, 'o'));
    ASSERT_TRUE(t);
    EXPECT_EQ(t->title, std::string(120, 't'));
    EXPECT_EQ(t->objective, std::string(600, 'o'));
}

TEST_F(ProjectTest, ArchivingWithdrawsOpenInsightsAndUnarchivingBringsNoneBack) {
    auto [project, task] = addProject("Espresso");
    auto [other, otherTask] = addProject("Tea");
    int64_t fresh = addInsight(project, {.status = "new"});
    int64_t useful = addInsight(project, {.status = "useful"});
    int64_t elsewhere = addInsight(other, {.status = "shown"});
    ASSERT_TRUE(store.setProjectArchived(project, true));
    EXPECT_EQ(state(fresh), "withdrawn/stale");
    EXPECT_EQ(state(useful), "useful");
    EXPECT_EQ(state(elsewhere), "shown");
    ASSERT_TRUE(store.setProjectArchived(project, false));
    EXPECT_FALSE(store.project(project)->archived);
    EXPECT_EQ(state(fresh), "withdrawn/stale");

    // Muting only stops delivery.
    ASSERT_TRUE(store.setProjectMuted(other, true));
    EXPECT_TRUE(store.project(other)->muted);
    EXPECT_EQ(state(elsewhere), "shown");
}

TEST_F(ProjectTest, DeletingAProjectLeavesNothingForAProjectThatGetsItsID) {
    int64_t video = addSource("video", "Talk");
    int64_t chunk = addChunk(video, {});
    auto [project, task] = addProject("Espresso");
    int64_t insight = addInsight(project, {.status = "shown", .chunks = {chunk}});
    store.db.run("INSERT INTO delivery(insight_id, project_id, context_revision, at) VALUES (?, ?, 1, 1)",
                 {Value(insight), Value(project)});
    store.db.run("INSERT INTO meta(key, value) VALUES (?, 'digest'), ('pack:99:1', 'other')",
                 {Value("pack:" + std::to_string(task) + ":1")});
    ASSERT_TRUE(store.feedback(insight, FeedbackReason::known, std::nullopt));
    ASSERT_EQ(store.suppressedSignatures(project).size(), 1u);

    ASSERT_TRUE(store.deleteProject(project));
    for (const char* table : {"project", "project_task", "insight", "insight_evidence", "delivery"}) {
        SCOPED_TRACE(table);
        EXPECT_EQ(store.db.one(std::string("SELECT count(*) AS n FROM ") + table)->integer("n"), 0);
    }
    auto feedback = store.db.query("SELECT * FROM feedback");
    ASSERT_EQ(feedback.size(), 1u); // the user's answer stays on record
    EXPECT_TRUE(feedback[0]["insight_id"].isNull());
    EXPECT_EQ(feedback[0].text("reason"), "known");
    EXPECT_FALSE(store.meta("pack:" + std::to_string(task) + ":1"));
    EXPECT_EQ(store.meta("pack:99:1"), "other");

    // SQLite gives the newest row's id again: the new project starts clean.
    int64_t again = store.createProject("Tea", "");
    ASSERT_EQ(again, project);
    EXPECT_TRUE(store.suppressedSignatures(again).empty());
    EXPECT_FALSE(store.deleteProject(project + 100));
}

TEST_F(ProjectTest, AFailingWithdrawalRollsTheWholeChangeBack) {
    auto [project, task] = addProject("Espresso", "Fix sour shots");
    int64_t open = addInsight(project, {.status = "new"});
    store.db.exec("CREATE TRIGGER refuse BEFORE UPDATE OF status ON insight BEGIN "
                  "SELECT RAISE(ABORT, 'refused'); END;");
    struct Case {
        const char* name;
        std::function<void()> change;
    } cases[] = {
        {"setTask", [&] { store.setTask(project, "Other title", ""); }},
        {"completeTask", [&] { store.completeTask(task); }},
        {"setProjectArchived", [&] { store.setProjectArchived(project, true); }},
        {"feedback", [&] { store.feedback(open, FeedbackReason::dismissed, std::nullopt); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        try {
            c.change();
            ADD_FAILURE() << "no error";
        } catch (const SQLiteDB::DBError& e) {
            EXPECT_EQ(std::string(e.what()), "SQLite error 19: refused");
        }
        auto t = store.currentTask(project);
        EXPECT_EQ(t->title, "Fix sour shots");
        EXPECT_EQ(t->revision, 1);
        EXPECT_TRUE(t->isActive());
        EXPECT_FALSE(store.project(project)->archived);
        EXPECT_EQ(store.db.one("SELECT count(*) AS n FROM feedback")->integer("n"), 0);
        EXPECT_EQ(state(open), "new");
    }
}

} // namespace
} // namespace brell
