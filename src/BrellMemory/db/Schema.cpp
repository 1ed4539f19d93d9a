#include "BrellMemory/db/Schema.h"

#include <charconv>

#include "BrellMemory/db/SQLiteDB.h"

namespace brell::Schema {
namespace {

const char* const version1 = R"sql(
CREATE TABLE consent(
  id INTEGER PRIMARY KEY CHECK (id = 1),
  decided INTEGER NOT NULL DEFAULT 0,
  enabled INTEGER NOT NULL DEFAULT 0,
  paused INTEGER NOT NULL DEFAULT 0,
  epoch INTEGER NOT NULL DEFAULT 1,
  youtube INTEGER NOT NULL DEFAULT 0,
  provider_consent INTEGER NOT NULL DEFAULT 0,
  proactive INTEGER NOT NULL DEFAULT 1,
  retention_days INTEGER NOT NULL DEFAULT 30,
  snooze_until REAL,
  updated_at REAL NOT NULL
);
INSERT INTO consent(id, updated_at) VALUES (1, strftime('%s','now'));
CREATE TABLE allowed_origin(
  origin TEXT PRIMARY KEY,
  index_text INTEGER NOT NULL DEFAULT 1,
  muted INTEGER NOT NULL DEFAULT 0,
  granted_at REAL NOT NULL
);
CREATE TABLE source(
  id INTEGER PRIMARY KEY,
  key TEXT NOT NULL UNIQUE,
  kind TEXT NOT NULL CHECK (kind IN ('video','article')),
  url TEXT NOT NULL,
  title TEXT NOT NULL,
  origin TEXT NOT NULL,
  first_seen REAL NOT NULL,
  last_seen REAL NOT NULL,
  muted INTEGER NOT NULL DEFAULT 0,
  transcript_status TEXT NOT NULL DEFAULT 'none',
  comments_status TEXT NOT NULL DEFAULT 'none'
);
CREATE TABLE session(
  id TEXT PRIMARY KEY,
  source_id INTEGER NOT NULL REFERENCES source(id) ON DELETE CASCADE,
  active_wall_ms INTEGER NOT NULL,
  started_at REAL NOT NULL,
  last_seen REAL NOT NULL
);
CREATE TABLE exposure(
  id INTEGER PRIMARY KEY,
  session_id TEXT NOT NULL REFERENCES session(id) ON DELETE CASCADE,
  kind TEXT NOT NULL CHECK (kind IN ('range','anchor')),
  start_ms INTEGER,
  end_ms INTEGER,
  locator TEXT,
  label TEXT
);
CREATE TABLE chunk(
  id INTEGER PRIMARY KEY,
  source_id INTEGER NOT NULL REFERENCES source(id) ON DELETE CASCADE,
  kind TEXT NOT NULL CHECK (kind IN ('metadata','transcript','comment','article','note')),
  text TEXT NOT NULL,
  heading TEXT,
  locator TEXT NOT NULL,
  start_ms INTEGER,
  end_ms INTEGER,
  cues TEXT,
  retrieved_at REAL NOT NULL,
  content_hash TEXT NOT NULL,
  provenance TEXT NOT NULL DEFAULT 'captured' CHECK (provenance IN ('captured','imported','api','fixture')),
  available INTEGER NOT NULL DEFAULT 1,
  UNIQUE (source_id, kind, locator, content_hash)
);
CREATE TABLE project(
  id INTEGER PRIMARY KEY,
  name TEXT NOT NULL,
  keywords TEXT NOT NULL DEFAULT '',
  archived INTEGER NOT NULL DEFAULT 0,
  muted INTEGER NOT NULL DEFAULT 0,
  created_at REAL NOT NULL
);
CREATE TABLE project_task(
  id INTEGER PRIMARY KEY,
  project_id INTEGER NOT NULL REFERENCES project(id) ON DELETE CASCADE,
  title TEXT NOT NULL,
  objective TEXT NOT NULL DEFAULT '',
  status TEXT NOT NULL DEFAULT 'active' CHECK (status IN ('active','done')),
  context_source TEXT NOT NULL DEFAULT 'explicit',
  revision INTEGER NOT NULL DEFAULT 1,
  updated_at REAL NOT NULL
);
CREATE TABLE insight(
  id INTEGER PRIMARY KEY,
  project_id INTEGER NOT NULL REFERENCES project(id) ON DELETE CASCADE,
  task_id INTEGER NOT NULL REFERENCES project_task(id) ON DELETE CASCADE,
  task_revision INTEGER NOT NULL,
  fingerprint TEXT NOT NULL,
  action_signature TEXT NOT NULL,
  evidence_hash TEXT NOT NULL,
  relationship TEXT NOT NULL,
  title TEXT NOT NULL,
  why_now TEXT NOT NULL,
  next_step TEXT NOT NULL,
  expected_outcome TEXT,
  uncertainty TEXT,
  origin TEXT NOT NULL CHECK (origin IN ('model','template')),
  model TEXT,
  score REAL NOT NULL,
  score_detail TEXT NOT NULL,
  eligible INTEGER NOT NULL,
  hold_reason TEXT,
  status TEXT NOT NULL DEFAULT 'new',
  consent_epoch INTEGER NOT NULL,
  created_at REAL NOT NULL,
  last_shown REAL,
  UNIQUE (project_id, fingerprint)
);
CREATE TABLE insight_evidence(
  insight_id INTEGER NOT NULL REFERENCES insight(id) ON DELETE CASCADE,
  chunk_id INTEGER NOT NULL REFERENCES chunk(id) ON DELETE CASCADE,
  role TEXT NOT NULL,
  claim TEXT,
  verdict TEXT,
  position INTEGER NOT NULL DEFAULT 0,
  PRIMARY KEY (insight_id, chunk_id)
);
CREATE TABLE feedback(
  id INTEGER PRIMARY KEY,
  insight_id INTEGER REFERENCES insight(id) ON DELETE SET NULL,
  project_id INTEGER,
  reason TEXT NOT NULL,
  action_signature TEXT,
  source_id INTEGER,
  at REAL NOT NULL
);
CREATE TABLE delivery(
  id INTEGER PRIMARY KEY,
  insight_id INTEGER NOT NULL REFERENCES insight(id) ON DELETE CASCADE,
  project_id INTEGER NOT NULL,
  context_revision INTEGER NOT NULL,
  channel TEXT NOT NULL DEFAULT 'in_app',
  at REAL NOT NULL,
  UNIQUE (insight_id, context_revision, channel)
);
CREATE TABLE ingested_event(
  event_id TEXT PRIMARY KEY,
  expires_at REAL NOT NULL
);
CREATE INDEX session_source ON session(source_id);
CREATE INDEX exposure_session ON exposure(session_id);
CREATE INDEX chunk_source ON chunk(source_id);
CREATE INDEX task_project ON project_task(project_id);
)sql";

const char* const version2 = R"sql(
CREATE TABLE exposure_v2(
  id INTEGER PRIMARY KEY,
  session_id TEXT NOT NULL REFERENCES session(id) ON DELETE CASCADE,
  kind TEXT NOT NULL CHECK (kind IN ('range','anchor','played')),
  start_ms INTEGER,
  end_ms INTEGER,
  locator TEXT,
  label TEXT
);
INSERT INTO exposure_v2 SELECT * FROM exposure;
DROP TABLE exposure;
ALTER TABLE exposure_v2 RENAME TO exposure;
CREATE INDEX exposure_session ON exposure(session_id);
ALTER TABLE session ADD COLUMN played_wall_ms INTEGER NOT NULL DEFAULT 0;
)sql";

const char* const version3 = R"sql(
ALTER TABLE consent ADD COLUMN screen INTEGER NOT NULL DEFAULT 0;
CREATE TABLE screen_capture(
  id INTEGER PRIMARY KEY,
  at REAL NOT NULL,
  last_at REAL NOT NULL,
  app_bundle TEXT NOT NULL,
  app_name TEXT NOT NULL,
  window_title TEXT NOT NULL,
  url TEXT,
  text TEXT NOT NULL,
  text_hash TEXT NOT NULL
);
CREATE INDEX screen_at ON screen_capture(last_at);
)sql";

// Run after version 3's tables; a build without FTS5 fails here and goes on without it.
const char* const version3FullText = R"sql(
CREATE VIRTUAL TABLE screen_fts USING fts5(text, window_title, content='screen_capture', content_rowid='id', tokenize='porter unicode61');
CREATE TRIGGER screen_ai AFTER INSERT ON screen_capture BEGIN
  INSERT INTO screen_fts(rowid, text, window_title) VALUES (new.id, new.text, new.window_title);
END;
CREATE TRIGGER screen_ad AFTER DELETE ON screen_capture BEGIN
  INSERT INTO screen_fts(screen_fts, rowid, text, window_title) VALUES ('delete', old.id, old.text, old.window_title);
END;
CREATE TRIGGER screen_au AFTER UPDATE OF text, window_title ON screen_capture BEGIN
  INSERT INTO screen_fts(screen_fts, rowid, text, window_title) VALUES ('delete', old.id, old.text, old.window_title);
  INSERT INTO screen_fts(rowid, text, window_title) VALUES (new.id, new.text, new.window_title);
END;
)sql";

const char* const version4 = R"sql(
ALTER TABLE screen_capture ADD COLUMN summary TEXT;
ALTER TABLE screen_capture ADD COLUMN summary_hash TEXT;
)sql";

const char* const version5 = R"sql(
CREATE TABLE visual_session(
  id INTEGER PRIMARY KEY AUTOINCREMENT,
  started_at REAL NOT NULL,
  ended_at REAL NOT NULL,
  app_bundle TEXT NOT NULL,
  app_name TEXT NOT NULL,
  window_title TEXT NOT NULL DEFAULT '',
  url TEXT,
  note TEXT NOT NULL DEFAULT '',
  text TEXT NOT NULL DEFAULT ''
);
CREATE TABLE visual_frame(
  id INTEGER PRIMARY KEY AUTOINCREMENT,
  session_id INTEGER NOT NULL,
  at REAL NOT NULL,
  file TEXT NOT NULL,
  starred INTEGER NOT NULL DEFAULT 0
);
CREATE INDEX visual_frame_session ON visual_frame(session_id);
)sql";

const char* const version6 = R"sql(
ALTER TABLE screen_capture ADD COLUMN topic TEXT;
CREATE INDEX screen_topic ON screen_capture(topic);
)sql";

const char* const chunkFullText = R"sql(
CREATE VIRTUAL TABLE chunk_fts USING fts5(text, heading, content='chunk', content_rowid='id', tokenize='porter unicode61');
CREATE TRIGGER chunk_ai AFTER INSERT ON chunk BEGIN
  INSERT INTO chunk_fts(rowid, text, heading) VALUES (new.id, new.text, new.heading);
END;
CREATE TRIGGER chunk_ad AFTER DELETE ON chunk BEGIN
  INSERT INTO chunk_fts(chunk_fts, rowid, text, heading) VALUES ('delete', old.id, old.text, old.heading);
END;
CREATE TRIGGER chunk_au AFTER UPDATE OF text, heading ON chunk BEGIN
  INSERT INTO chunk_fts(chunk_fts, rowid, text, heading) VALUES ('delete', old.id, old.text, old.heading);
  INSERT INTO chunk_fts(rowid, text, heading) VALUES (new.id, new.text, new.heading);
END;
)sql";

// Lets recording a screen reading find the newest record of its window (application
// and title) in the index itself; without it the lookup walks screen_at backwards,
// through every record when the window is new. Added to version-6 files as they are
// opened: an extra index changes nothing for any reader of the version.
const char* const windowIndex =
    "CREATE INDEX IF NOT EXISTS screen_window ON screen_capture(app_bundle, window_title, last_at)";

// Runs the upgrade step that leads to `step`. Inside the migration's transaction.
void applyStep(SQLiteDB& db, int step) {
    switch (step) {
    case 1:
        db.exec(version1);
        break;
    case 2:
        db.exec(version2);
        break;
    case 3:
        db.exec(version3);
        // Without FTS5 screen text is searched without the index. A savepoint keeps a
        // failure here from undoing the rest of the migration.
        db.exec("SAVEPOINT screen_fulltext");
        try {
            db.exec(version3FullText);
            db.exec("RELEASE screen_fulltext");
        } catch (const SQLiteDB::DBError&) {
            db.exec("ROLLBACK TO screen_fulltext");
            db.exec("RELEASE screen_fulltext");
        }
        break;
    case 4:
        db.exec(version4);
        break;
    case 5:
        db.exec(version5);
        break;
    case 6:
        db.exec(version6);
        break;
    default:
        break;
    }
}

void setVersion(SQLiteDB& db, int version) {
    db.run("INSERT OR REPLACE INTO meta(key, value) VALUES('schema_version', ?)", {SQLiteDB::Value(version)});
}

// Creates the chunk index when it is missing and records whether that worked.
void ensureChunkFullText(SQLiteDB& db) {
    if (db.one("SELECT 1 AS x FROM sqlite_master WHERE name = 'chunk_fts'")) {
        return;
    }
    try {
        db.transaction([&] { db.exec(chunkFullText); });
        db.run("INSERT OR REPLACE INTO meta(key, value) VALUES('fts5', '1')");
        db.run("INSERT INTO chunk_fts(chunk_fts) VALUES('rebuild')");
    } catch (const SQLiteDB::DBError&) {
        db.run("INSERT OR REPLACE INTO meta(key, value) VALUES('fts5', '0')");
    }
}

// The indexes that speed up a current file without changing its version. Checked by
// a read first, so opening a file that has them takes no write lock. A failure (the
// database busy for longer than the timeout, say) leaves the file as it is: every
// statement works without them, and the next opening tries again.
void ensureIndexes(SQLiteDB& db) {
    try {
        if (!db.one("SELECT 1 AS x FROM sqlite_master WHERE type = 'index' AND name = 'screen_window'")) {
            db.exec(windowIndex);
        }
    } catch (const SQLiteDB::DBError&) {
    }
}

} // namespace

int64_t version(SQLiteDB& db) {
    auto row = db.one("SELECT value FROM meta WHERE key = 'schema_version'");
    if (!row) {
        return 0;
    }
    auto text = row->optText("value");
    if (!text) {
        return 0;
    }
    int64_t value = 0;
    auto [end, error] = std::from_chars(text->data(), text->data() + text->size(), value);
    if (end != text->data() + text->size()) {
        return 0;
    }
    if (error == std::errc::result_out_of_range) {
        // Digits beyond any 64-bit number: a version from far in the future, never 0,
        // which would run the first migration over tables that already exist.
        return text->starts_with('-') ? 0 : INT64_MAX;
    }
    return error == std::errc() ? value : 0;
}

std::string backupPath(const std::string& path, int64_t version) {
    return path + ".backup-v" + std::to_string(version);
}

void migrate(SQLiteDB& db) {
    db.exec("CREATE TABLE IF NOT EXISTS meta(key TEXT PRIMARY KEY, value TEXT NOT NULL)");
    int64_t found = version(db);
    if (found == currentVersion) {
        ensureIndexes(db);
        return;
    }
    if (found > currentVersion) {
        return;
    }
    bool migrated = db.transaction([&] {
        // Read again under the write lock: another process may have migrated meanwhile.
        int64_t old = version(db);
        if (old >= currentVersion) {
            return false;
        }
        if (old >= 1 && db.path() != ":memory:") {
            // A consistent copy taken under the write lock, so a second process writing
            // at the same time cannot tear it.
            // Like the file copy it replaces, a failed backup does not stop the upgrade.
            try {
                db.backupTo(backupPath(db.path(), old));
            } catch (const Error&) {
            }
        }
        for (int step = static_cast<int>(old) + 1; step <= currentVersion; ++step) {
            applyStep(db, step);
        }
        setVersion(db, currentVersion);
        return true;
    });
    if (migrated) {
        ensureChunkFullText(db);
    }
    if (version(db) == currentVersion) {
        ensureIndexes(db);
    }
}

void buildVersion(SQLiteDB& db, int target) {
    db.exec("CREATE TABLE IF NOT EXISTS meta(key TEXT PRIMARY KEY, value TEXT NOT NULL)");
    db.transaction([&] {
        for (int step = 1; step <= target; ++step) {
            applyStep(db, step);
        }
        setVersion(db, target);
    });
}

} // namespace brell::Schema
