// What the database holds, compared with the schema the memory is meant to have: every
// column's declared type, NOT NULL, default and key position, the keys and indexes, the
// foreign keys and their ON DELETE actions, the CHECK lists, AUTOINCREMENT, the full-text
// tables with their tokenizer, and the trigger bodies. The expected DDL is written out
// here on its own, so a change to the migration scripts that alters the schema fails.
#include "BrellMemory/db/Schema.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "BrellMemory/db/MemoryStore.h"
#include "BrellMemory/db/SQLiteDB.h"
#include "support/TestSupport.h"

namespace brell {
namespace {

// White space collapsed to one space and dropped next to punctuation, outside quotes, so
// "CHECK (kind IN ('video','article'))" and "CHECK(kind IN ('video', 'article'))" compare
// equal while 'porter unicode61' keeps its space.
std::string normalise(const std::string& sql) {
    std::string out;
    auto isPunct = [](char c) { return c == '(' || c == ')' || c == ',' || c == ';' || c == '='; };
    bool pendingSpace = false;
    char quote = 0;
    for (char c : sql) {
        if (quote != 0) {
            out += c;
            if (c == quote) {
                quote = 0;
            }
            continue;
        }
        if (std::isspace(static_cast<unsigned char>(c)) != 0) {
            pendingSpace = true;
            continue;
        }
        if (pendingSpace && !out.empty() && !isPunct(out.back()) && !isPunct(c)) {
            out += ' ';
        }
        pendingSpace = false;
        if (c == '\'' || c == '"') {
            quote = c;
        }
        out += c;
    }
    while (!out.empty() && out.back() == ';') {
        out.pop_back();
    }
    return out;
}

// Every "CHECK(...)" clause of a normalised CREATE TABLE statement, parentheses matched
// outside quotes.
std::vector<std::string> checkClauses(const std::string& normalisedSql) {
    std::vector<std::string> found;
    for (size_t at = normalisedSql.find("CHECK("); at != std::string::npos; at = normalisedSql.find("CHECK(", at + 1)) {
        int depth = 0;
        char quote = 0;
        size_t end = at + 5;
        for (; end < normalisedSql.size(); ++end) {
            char c = normalisedSql[end];
            if (quote != 0) {
                quote = c == quote ? 0 : quote;
            } else if (c == '\'' || c == '"') {
                quote = c;
            } else if (c == '(') {
                ++depth;
            } else if (c == ')' && --depth == 0) {
                break;
            }
        }
        found.push_back(normalisedSql.substr(at, end + 1 - at));
    }
    std::sort(found.begin(), found.end());
    return found;
}

std::vector<std::string> sorted(std::vector<std::string> v) {
    std::sort(v.begin(), v.end());
    return v;
}

std::vector<std::string> normalisedAll(std::vector<std::string> v) {
    for (auto& s : v) {
        s = normalise(s);
    }
    std::sort(v.begin(), v.end());
    return v;
}

// One column as PRAGMA table_xinfo reports it; `dflt` is the default's text as written
// (nullopt: no default); `pk` the 1-based position in the primary key, 0 outside it.
struct Column {
    std::string name;
    std::string type;
    bool notNull;
    std::optional<std::string> dflt;
    int pk;
};

std::string describe(const Column& c) {
    return c.name + " " + c.type + (c.notNull ? " NOT NULL" : "") + (c.dflt ? " DEFAULT " + *c.dflt : "") +
           (c.pk != 0 ? " PK" + std::to_string(c.pk) : "");
}

// Indexes read "PRIMARY KEY(cols)", "UNIQUE(cols)" for constraints and "INDEX name(cols)"
// for created ones; foreign keys "from -> table(to) ON DELETE action ON UPDATE action".
struct Table {
    std::string name;
    std::vector<Column> columns;
    std::vector<std::string> indexes;
    std::vector<std::string> foreignKeys;
    std::vector<std::string> checks;
    bool autoincrement;
};

const std::nullopt_t none = std::nullopt;

const std::vector<Table>& expectedTables() {
    static const std::vector<Table> tables = {
        {"meta",
         {{"key", "TEXT", false, none, 1}, {"value", "TEXT", true, none, 0}},
         {"PRIMARY KEY(key)"},
         {},
         {},
         false},
        {"consent",
         {{"id", "INTEGER", false, none, 1},
          {"decided", "INTEGER", true, "0", 0},
          {"enabled", "INTEGER", true, "0", 0},
          {"paused", "INTEGER", true, "0", 0},
          {"epoch", "INTEGER", true, "1", 0},
          {"youtube", "INTEGER", true, "0", 0},
          {"provider_consent", "INTEGER", true, "0", 0},
          {"proactive", "INTEGER", true, "1", 0},
          {"retention_days", "INTEGER", true, "30", 0},
          {"snooze_until", "REAL", false, none, 0},
          {"updated_at", "REAL", true, none, 0},
          {"screen", "INTEGER", true, "0", 0}},
         {},
         {},
         {"CHECK (id = 1)"},
         false},
        {"allowed_origin",
         {{"origin", "TEXT", false, none, 1},
          {"index_text", "INTEGER", true, "1", 0},
          {"muted", "INTEGER", true, "0", 0},
          {"granted_at", "REAL", true, none, 0}},
         {"PRIMARY KEY(origin)"},
         {},
         {},
         false},
        {"source",
         {{"id", "INTEGER", false, none, 1},
          {"key", "TEXT", true, none, 0},
          {"kind", "TEXT", true, none, 0},
          {"url", "TEXT", true, none, 0},
          {"title", "TEXT", true, none, 0},
          {"origin", "TEXT", true, none, 0},
          {"first_seen", "REAL", true, none, 0},
          {"last_seen", "REAL", true, none, 0},
          {"muted", "INTEGER", true, "0", 0},
          {"transcript_status", "TEXT", true, "'none'", 0},
          {"comments_status", "TEXT", true, "'none'", 0}},
         {"UNIQUE(key)"},
         {},
         {"CHECK (kind IN ('video','article'))"},
         false},
        {"session",
         {{"id", "TEXT", false, none, 1},
          {"source_id", "INTEGER", true, none, 0},
          {"active_wall_ms", "INTEGER", true, none, 0},
          {"started_at", "REAL", true, none, 0},
          {"last_seen", "REAL", true, none, 0},
          {"played_wall_ms", "INTEGER", true, "0", 0}},
         {"PRIMARY KEY(id)", "INDEX session_source(source_id)"},
         {"source_id -> source(id) ON DELETE CASCADE ON UPDATE NO ACTION"},
         {},
         false},
        {"exposure",
         {{"id", "INTEGER", false, none, 1},
          {"session_id", "TEXT", true, none, 0},
          {"kind", "TEXT", true, none, 0},
          {"start_ms", "INTEGER", false, none, 0},
          {"end_ms", "INTEGER", false, none, 0},
          {"locator", "TEXT", false, none, 0},
          {"label", "TEXT", false, none, 0}},
         {"INDEX exposure_session(session_id)"},
         {"session_id -> session(id) ON DELETE CASCADE ON UPDATE NO ACTION"},
         {"CHECK (kind IN ('range','anchor','played'))"},
         false},
        {"chunk",
         {{"id", "INTEGER", false, none, 1},
          {"source_id", "INTEGER", true, none, 0},
          {"kind", "TEXT", true, none, 0},
          {"text", "TEXT", true, none, 0},
          {"heading", "TEXT", false, none, 0},
          {"locator", "TEXT", true, none, 0},
          {"start_ms", "INTEGER", false, none, 0},
          {"end_ms", "INTEGER", false, none, 0},
          {"cues", "TEXT", false, none, 0},
          {"retrieved_at", "REAL", true, none, 0},
          {"content_hash", "TEXT", true, none, 0},
          {"provenance", "TEXT", true, "'captured'", 0},
          {"available", "INTEGER", true, "1", 0}},
         {"UNIQUE(source_id,kind,locator,content_hash)", "INDEX chunk_source(source_id)"},
         {"source_id -> source(id) ON DELETE CASCADE ON UPDATE NO ACTION"},
         {"CHECK (kind IN ('metadata','transcript','comment','article','note'))",
          "CHECK (provenance IN ('captured','imported','api','fixture'))"},
         false},
        {"project",
         {{"id", "INTEGER", false, none, 1},
          {"name", "TEXT", true, none, 0},
          {"keywords", "TEXT", true, "''", 0},
          {"archived", "INTEGER", true, "0", 0},
          {"muted", "INTEGER", true, "0", 0},
          {"created_at", "REAL", true, none, 0}},
         {},
         {},
         {},
         false},
        {"project_task",
         {{"id", "INTEGER", false, none, 1},
          {"project_id", "INTEGER", true, none, 0},
          {"title", "TEXT", true, none, 0},
          {"objective", "TEXT", true, "''", 0},
          {"status", "TEXT", true, "'active'", 0},
          {"context_source", "TEXT", true, "'explicit'", 0},
          {"revision", "INTEGER", true, "1", 0},
          {"updated_at", "REAL", true, none, 0}},
         {"INDEX task_project(project_id)"},
         {"project_id -> project(id) ON DELETE CASCADE ON UPDATE NO ACTION"},
         {"CHECK (status IN ('active','done'))"},
         false},
        {"insight",
         {{"id", "INTEGER", false, none, 1},
          {"project_id", "INTEGER", true, none, 0},
          {"task_id", "INTEGER", true, none, 0},
          {"task_revision", "INTEGER", true, none, 0},
          {"fingerprint", "TEXT", true, none, 0},
          {"action_signature", "TEXT", true, none, 0},
          {"evidence_hash", "TEXT", true, none, 0},
          {"relationship", "TEXT", true, none, 0},
          {"title", "TEXT", true, none, 0},
          {"why_now", "TEXT", true, none, 0},
          {"next_step", "TEXT", true, none, 0},
          {"expected_outcome", "TEXT", false, none, 0},
          {"uncertainty", "TEXT", false, none, 0},
          {"origin", "TEXT", true, none, 0},
          {"model", "TEXT", false, none, 0},
          {"score", "REAL", true, none, 0},
          {"score_detail", "TEXT", true, none, 0},
          {"eligible", "INTEGER", true, none, 0},
          {"hold_reason", "TEXT", false, none, 0},
          {"status", "TEXT", true, "'new'", 0},
          {"consent_epoch", "INTEGER", true, none, 0},
          {"created_at", "REAL", true, none, 0},
          {"last_shown", "REAL", false, none, 0}},
         {"UNIQUE(project_id,fingerprint)"},
         {"project_id -> project(id) ON DELETE CASCADE ON UPDATE NO ACTION",
          "task_id -> project_task(id) ON DELETE CASCADE ON UPDATE NO ACTION"},
         {"CHECK (origin IN ('model','template'))"},
         false},
        {"insight_evidence",
         {{"insight_id", "INTEGER", true, none, 1},
          {"chunk_id", "INTEGER", true, none, 2},
          {"role", "TEXT", true, none, 0},
          {"claim", "TEXT", false, none, 0},
          {"verdict", "TEXT", false, none, 0},
          {"position", "INTEGER", true, "0", 0}},
         {"PRIMARY KEY(insight_id,chunk_id)"},
         {"insight_id -> insight(id) ON DELETE CASCADE ON UPDATE NO ACTION",
          "chunk_id -> chunk(id) ON DELETE CASCADE ON UPDATE NO ACTION"},
         {},
         false},
        {"feedback",
         {{"id", "INTEGER", false, none, 1},
          {"insight_id", "INTEGER", false, none, 0},
          {"project_id", "INTEGER", false, none, 0},
          {"reason", "TEXT", true, none, 0},
          {"action_signature", "TEXT", false, none, 0},
          {"source_id", "INTEGER", false, none, 0},
          {"at", "REAL", true, none, 0}},
         {},
         {"insight_id -> insight(id) ON DELETE SET NULL ON UPDATE NO ACTION"},
         {},
         false},
        {"delivery",
         {{"id", "INTEGER", false, none, 1},
          {"insight_id", "INTEGER", true, none, 0},
          {"project_id", "INTEGER", true, none, 0},
          {"context_revision", "INTEGER", true, none, 0},
          {"channel", "TEXT", true, "'in_app'", 0},
          {"at", "REAL", true, none, 0}},
         {"UNIQUE(insight_id,context_revision,channel)"},
         {"insight_id -> insight(id) ON DELETE CASCADE ON UPDATE NO ACTION"},
         {},
         false},
        {"ingested_event",
         {{"event_id", "TEXT", false, none, 1}, {"expires_at", "REAL", true, none, 0}},
         {"PRIMARY KEY(event_id)"},
         {},
         {},
         false},
        {"screen_capture",
         {{"id", "INTEGER", false, none, 1},
          {"at", "REAL", true, none, 0},
          {"last_at", "REAL", true, none, 0},
          {"app_bundle", "TEXT", true, none, 0},
          {"app_name", "TEXT", true, none, 0},
          {"window_title", "TEXT", true, none, 0},
          {"url", "TEXT", false, none, 0},
          {"text", "TEXT", true, none, 0},
          {"text_hash", "TEXT", true, none, 0},
          {"summary", "TEXT", false, none, 0},
          {"summary_hash", "TEXT", false, none, 0},
          {"topic", "TEXT", false, none, 0}},
         {"INDEX screen_at(last_at)", "INDEX screen_topic(topic)",
          // added on open to files of this version: finds a window's latest reading directly
          "INDEX screen_window(app_bundle,window_title,last_at)"},
         {},
         {},
         false},
        {"visual_session",
         {{"id", "INTEGER", false, none, 1},
          {"started_at", "REAL", true, none, 0},
          {"ended_at", "REAL", true, none, 0},
          {"app_bundle", "TEXT", true, none, 0},
          {"app_name", "TEXT", true, none, 0},
          {"window_title", "TEXT", true, "''", 0},
          {"url", "TEXT", false, none, 0},
          {"note", "TEXT", true, "''", 0},
          {"text", "TEXT", true, "''", 0}},
         {},
         {},
         {},
         true},
        // Frames are deleted by their own code: no foreign key to visual_session.
        {"visual_frame",
         {{"id", "INTEGER", false, none, 1},
          {"session_id", "INTEGER", true, none, 0},
          {"at", "REAL", true, none, 0},
          {"file", "TEXT", true, none, 0},
          {"starred", "INTEGER", true, "0", 0}},
         {"INDEX visual_frame_session(session_id)"},
         {},
         {},
         true},
    };
    return tables;
}

// The full-text tables and their triggers, each statement as it is meant to be stored.
struct Statement {
    std::string type;
    std::string name;
    std::string table;
    std::string sql;
};

const std::vector<Statement>& expectedFullText() {
    static const std::vector<Statement> statements = {
        {"table", "chunk_fts", "chunk_fts",
         "CREATE VIRTUAL TABLE chunk_fts USING fts5(text, heading, content='chunk', content_rowid='id', "
         "tokenize='porter unicode61')"},
        {"trigger", "chunk_ai", "chunk",
         "CREATE TRIGGER chunk_ai AFTER INSERT ON chunk BEGIN "
         "INSERT INTO chunk_fts(rowid, text, heading) VALUES (new.id, new.text, new.heading); END"},
        {"trigger", "chunk_ad", "chunk",
         "CREATE TRIGGER chunk_ad AFTER DELETE ON chunk BEGIN "
         "INSERT INTO chunk_fts(chunk_fts, rowid, text, heading) VALUES ('delete', old.id, old.text, old.heading); "
         "END"},
        {"trigger", "chunk_au", "chunk",
         "CREATE TRIGGER chunk_au AFTER UPDATE OF text, heading ON chunk BEGIN "
         "INSERT INTO chunk_fts(chunk_fts, rowid, text, heading) VALUES ('delete', old.id, old.text, old.heading); "
         "INSERT INTO chunk_fts(rowid, text, heading) VALUES (new.id, new.text, new.heading); END"},
        {"table", "screen_fts", "screen_fts",
         "CREATE VIRTUAL TABLE screen_fts USING fts5(text, window_title, content='screen_capture', "
         "content_rowid='id', tokenize='porter unicode61')"},
        {"trigger", "screen_ai", "screen_capture",
         "CREATE TRIGGER screen_ai AFTER INSERT ON screen_capture BEGIN "
         "INSERT INTO screen_fts(rowid, text, window_title) VALUES (new.id, new.text, new.window_title); END"},
        {"trigger", "screen_ad", "screen_capture",
         "CREATE TRIGGER screen_ad AFTER DELETE ON screen_capture BEGIN "
         "INSERT INTO screen_fts(screen_fts, rowid, text, window_title) "
         "VALUES ('delete', old.id, old.text, old.window_title); END"},
        {"trigger", "screen_au", "screen_capture",
         "CREATE TRIGGER screen_au AFTER UPDATE OF text, window_title ON screen_capture BEGIN "
         "INSERT INTO screen_fts(screen_fts, rowid, text, window_title) "
         "VALUES ('delete', old.id, old.text, old.window_title); "
         "INSERT INTO screen_fts(rowid, text, window_title) VALUES (new.id, new.text, new.window_title); END"},
    };
    return statements;
}

// Every named object the file should hold ("type name"). Besides the tables, indexes and
// triggers above: sqlite_sequence, which AUTOINCREMENT brings, and FTS5's own shadow
// tables — with external content there is no *_content table.
std::vector<std::string> expectedObjects() {
    std::vector<std::string> objects = {"table sqlite_sequence"};
    for (const auto& t : expectedTables()) {
        objects.push_back("table " + t.name);
        for (const auto& index : t.indexes) {
            if (index.starts_with("INDEX ")) {
                objects.push_back("index " + index.substr(6, index.find('(') - 6));
            }
        }
    }
    for (const auto& s : expectedFullText()) {
        objects.push_back(s.type + " " + s.name);
    }
    for (const char* fts : {"chunk_fts", "screen_fts"}) {
        for (const char* shadow : {"_config", "_data", "_docsize", "_idx"}) {
            objects.push_back(std::string("table ") + fts + shadow);
        }
    }
    return sorted(objects);
}

std::string tableSql(SQLiteDB& db, const std::string& table) {
    auto row = db.one("SELECT sql FROM sqlite_master WHERE type = 'table' AND name = ?", {SQLiteDB::Value(table)});
    return row ? row->text("sql") : "";
}

std::vector<std::string> actualColumns(SQLiteDB& db, const std::string& table) {
    std::vector<std::string> found;
    for (const auto& r : db.query("SELECT * FROM pragma_table_xinfo(?) ORDER BY cid", {SQLiteDB::Value(table)})) {
        Column c{r.text("name"), r.text("type"), r.integer("notnull") != 0, r.optText("dflt_value"),
                 static_cast<int>(r.integer("pk"))};
        found.push_back(describe(c) + (r.integer("hidden") != 0 ? " HIDDEN" : ""));
    }
    return found;
}

std::vector<std::string> actualIndexes(SQLiteDB& db, const std::string& table) {
    std::vector<std::string> found;
    for (const auto& index : db.query("SELECT * FROM pragma_index_list(?)", {SQLiteDB::Value(table)})) {
        std::string columns;
        for (const auto& c :
             db.query("SELECT name FROM pragma_index_info(?) ORDER BY seqno", {SQLiteDB::Value(index.text("name"))})) {
            columns += (columns.empty() ? "" : ",") + c.text("name");
        }
        std::string origin = index.text("origin");
        std::string head = origin == "pk" ? "PRIMARY KEY" : origin == "u" ? "UNIQUE" : "INDEX " + index.text("name");
        if (origin == "c" && index.integer("unique") != 0) {
            head = "UNIQUE " + head;
        }
        found.push_back(head + "(" + columns + ")" + (index.integer("partial") != 0 ? " PARTIAL" : ""));
    }
    return sorted(found);
}

std::vector<std::string> actualForeignKeys(SQLiteDB& db, const std::string& table) {
    std::vector<std::string> found;
    for (const auto& fk : db.query("SELECT * FROM pragma_foreign_key_list(?)", {SQLiteDB::Value(table)})) {
        found.push_back(fk.text("from") + " -> " + fk.text("table") + "(" + fk.text("to") + ") ON DELETE " +
                        fk.text("on_delete") + " ON UPDATE " + fk.text("on_update"));
    }
    return sorted(found);
}

// Checks every table, column, key, index, constraint, full-text table and trigger.
void expectSchemaDDL(SQLiteDB& db) {
    for (const auto& t : expectedTables()) {
        SCOPED_TRACE("table " + t.name);
        std::vector<std::string> columns;
        for (const auto& c : t.columns) {
            columns.push_back(describe(c));
        }
        EXPECT_EQ(actualColumns(db, t.name), columns);
        EXPECT_EQ(actualIndexes(db, t.name), sorted(t.indexes));
        EXPECT_EQ(actualForeignKeys(db, t.name), sorted(t.foreignKeys));
        std::string sql = normalise(tableSql(db, t.name));
        EXPECT_EQ(checkClauses(sql), normalisedAll(t.checks)) << sql;
        EXPECT_EQ(sql.find("AUTOINCREMENT") != std::string::npos, t.autoincrement) << sql;
    }
    for (const auto& s : expectedFullText()) {
        SCOPED_TRACE(s.type + " " + s.name);
        auto row = db.one("SELECT tbl_name, sql FROM sqlite_master WHERE type = ? AND name = ?",
                          {SQLiteDB::Value(s.type), SQLiteDB::Value(s.name)});
        ASSERT_TRUE(row);
        EXPECT_EQ(row->text("tbl_name"), s.table);
        EXPECT_EQ(normalise(row->text("sql")), normalise(s.sql));
    }
    std::vector<std::string> objects;
    for (const auto& r : db.query("SELECT type, name FROM sqlite_master "
                                  "WHERE name NOT LIKE 'sqlite\\_autoindex\\_%' ESCAPE '\\'")) {
        objects.push_back(r.text("type") + " " + r.text("name"));
    }
    EXPECT_EQ(sorted(objects), expectedObjects());
}

// The whole schema as text: each object's type, name, table and normalised statement.
std::vector<std::string> masterDump(SQLiteDB& db) {
    std::vector<std::string> dump;
    for (const auto& r : db.query("SELECT type, name, tbl_name, sql FROM sqlite_master")) {
        dump.push_back(r.text("type") + " " + r.text("name") + " ON " + r.text("tbl_name") + ": " +
                       normalise(r.text("sql")));
    }
    return sorted(dump);
}

TEST(SchemaDDLTest, NormaliseKeepsQuotedTextAndIgnoresLayout) {
    struct Case {
        const char* name;
        const char* a;
        const char* b;
        bool equal;
    };
    const Case cases[] = {
        {"spaces around punctuation", "CHECK (kind IN ('video','article'))", "CHECK(kind IN ( 'video', 'article' ))",
         true},
        {"line breaks and indentation", "CREATE TRIGGER t\n  AFTER INSERT ON c BEGIN\n  SELECT 1;\nEND",
         "CREATE TRIGGER t AFTER INSERT ON c BEGIN SELECT 1; END", true},
        {"a trailing semicolon", "CREATE INDEX i ON t(a);", "CREATE INDEX i ON t(a)", true},
        {"space inside quotes counts", "tokenize='porter unicode61'", "tokenize='porterunicode61'", false},
        {"a changed list counts", "CHECK (kind IN ('video','article'))", "CHECK (kind IN ('video'))", false},
        {"a changed word counts", "AFTER UPDATE OF text, heading ON chunk", "AFTER UPDATE ON chunk", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(normalise(c.a) == normalise(c.b), c.equal) << normalise(c.a) << " | " << normalise(c.b);
    }
    EXPECT_EQ(checkClauses(normalise("a TEXT CHECK (a IN ('x)','y')), b INTEGER CHECK (b = (1))")),
              (std::vector<std::string>{"CHECK(a IN('x)','y'))", "CHECK(b=(1))"}));
}

TEST(SchemaDDLTest, NewStoreHoldsTheSchemaAsDeclared) {
    MemoryStore store(":memory:");
    expectSchemaDDL(store.db);
    EXPECT_EQ(store.meta("schema_version"), "6");
    EXPECT_EQ(store.meta("fts5"), "1");
}

TEST(SchemaDDLTest, NewFileSeedsOneConsentRowWithItsDefaults) {
    test::TempFolder tmp;
    auto before =
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch()).count();
    MemoryStore store(tmp.file("Memory.sqlite"));
    auto after =
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch()).count();
    auto rows = store.db.query("SELECT *, typeof(updated_at) AS updated_type FROM consent");
    ASSERT_EQ(rows.size(), 1u);
    const auto& row = rows[0];
    struct Field {
        const char* column;
        int64_t value;
    };
    const Field fields[] = {
        {"id", 1},      {"decided", 0},          {"enabled", 0},   {"paused", 0},          {"epoch", 1},
        {"youtube", 0}, {"provider_consent", 0}, {"proactive", 1}, {"retention_days", 30}, {"screen", 0}};
    for (const auto& f : fields) {
        SCOPED_TRACE(f.column);
        ASSERT_TRUE(row[f.column].isInteger());
        EXPECT_EQ(row.integer(f.column), f.value);
    }
    EXPECT_TRUE(row["snooze_until"].isNull());
    // strftime gives text; the REAL column keeps it as a number of seconds.
    EXPECT_EQ(row.text("updated_type"), "real");
    EXPECT_GE(row.real("updated_at"), static_cast<double>(before));
    EXPECT_LE(row.real("updated_at"), static_cast<double>(after));
    // The CHECK keeps it the only row.
    EXPECT_THROW(store.db.run("INSERT INTO consent(id, updated_at) VALUES (2, 0)"), SQLiteDB::DBError);
}

// The declared tokenizer and triggers at work: porter stems ("running" finds "run"),
// unicode61 drops diacritics ("cafe" finds "café"), and each trigger keeps the external
// content index in step, which FTS5's integrity check confirms.
TEST(SchemaDDLTest, FullTextTablesStemFoldAndFollowTheirTables) {
    MemoryStore store(":memory:");
    auto& db = store.db;
    db.exec("INSERT INTO source(id, key, kind, url, title, origin, first_seen, last_seen) "
            "VALUES (1, 'k', 'article', 'https://a.example/p', 'T', 'https://a.example', 1, 1);"
            "INSERT INTO chunk(id, source_id, kind, text, heading, locator, retrieved_at, content_hash) "
            "VALUES (5, 1, 'article', 'The runners were running past the café', 'Morning', 'p1', 1, 'h');"
            "INSERT INTO screen_capture(id, at, last_at, app_bundle, app_name, window_title, text, text_hash) "
            "VALUES (6, 1, 1, 'b', 'App', 'Résumé draft', 'running late again', 'h')");
    struct Case {
        const char* name;
        const char* table;
        const char* update; // run before the match; nullptr for none
        const char* match;
        bool found;
    };
    const Case cases[] = {
        {"chunk: stemmed word", "chunk_fts", nullptr, "run", true},
        {"chunk: diacritics folded", "chunk_fts", nullptr, "cafe", true},
        {"chunk: heading indexed", "chunk_fts", nullptr, "heading:morning", true},
        {"chunk: text updated, old word gone", "chunk_fts", "UPDATE chunk SET text = 'quiet evening' WHERE id = 5",
         "runner", false},
        {"chunk: text updated, new word found", "chunk_fts", nullptr, "evening", true},
        {"chunk: heading updated", "chunk_fts", "UPDATE chunk SET heading = 'Night' WHERE id = 5", "night", true},
        {"chunk: other column updated", "chunk_fts", "UPDATE chunk SET locator = 'p2' WHERE id = 5", "evening", true},
        {"chunk: deleted", "chunk_fts", "DELETE FROM chunk WHERE id = 5", "evening", false},
        {"screen: stemmed word", "screen_fts", nullptr, "runs", true},
        {"screen: title folded", "screen_fts", nullptr, "window_title:resume", true},
        {"screen: text updated", "screen_fts", "UPDATE screen_capture SET text = 'on time' WHERE id = 6", "late",
         false},
        {"screen: title updated", "screen_fts", "UPDATE screen_capture SET window_title = 'Budget' WHERE id = 6",
         "budget", true},
        {"screen: other column updated", "screen_fts", "UPDATE screen_capture SET topic = 'work' WHERE id = 6", "time",
         true},
        {"screen: deleted", "screen_fts", "DELETE FROM screen_capture WHERE id = 6", "budget", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.update != nullptr) {
            db.exec(c.update);
        }
        std::string table = c.table;
        EXPECT_EQ(
            db.query("SELECT rowid FROM " + table + " WHERE " + table + " MATCH ?", {SQLiteDB::Value(c.match)}).size(),
            c.found ? 1u : 0u);
        EXPECT_NO_THROW(db.exec("INSERT INTO " + table + "(" + table + ") VALUES ('integrity-check')"));
    }
}

// An old file brought up to date holds exactly the schema a new file gets — whether or
// not its chunk index already existed — so no column, constraint or trigger depends on
// the road the file took.
TEST(SchemaDDLTest, UpgradedFileHoldsTheSameSchemaAsANewOne) {
    std::vector<std::string> fresh;
    {
        test::TempFolder folder;
        MemoryStore store(folder.file("Memory.sqlite"));
        fresh = masterDump(store.db);
    }
    for (int version = 1; version < Schema::currentVersion; ++version) {
        for (bool hadChunkIndex : {false, true}) {
            SCOPED_TRACE("version " + std::to_string(version) + (hadChunkIndex ? " with" : " without") +
                         " its chunk index");
            test::TempFolder folder;
            std::string file = folder.file("Memory.sqlite");
            {
                SQLiteDB old(file);
                Schema::buildVersion(old, version);
                if (hadChunkIndex) {
                    for (const auto& s : expectedFullText()) {
                        if (s.name.starts_with("chunk_")) {
                            old.exec(s.sql);
                        }
                    }
                    old.exec("INSERT INTO meta(key, value) VALUES ('fts5', '1')");
                }
            }
            MemoryStore store(file);
            expectSchemaDDL(store.db);
            EXPECT_EQ(masterDump(store.db), fresh);
            EXPECT_EQ(store.meta("schema_version"), "6");
            EXPECT_EQ(store.meta("fts5"), "1");
        }
    }
}

} // namespace
} // namespace brell
