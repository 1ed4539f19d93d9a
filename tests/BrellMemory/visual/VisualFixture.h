#pragma once
// A memory in a file of its own (so it has a Visual folder) with a clock the test
// moves, and readers of what is on disk and in the rows, to check that they agree.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "BrellMemory/db/MemoryStore.h"
#include "BrellMemory/visual/TinyJpeg.h"
#include "platform/FolderTree.h"
#include "support/TestSupport.h"

namespace brell::test {

struct VisualMemory {
    TempFolder tmp;
    Date clock = 1'800'000'000.0;
    MemoryStore store{tmp.file("Memory.sqlite"), MemoryConfig::defaults(), [this] { return clock; }};
    uint8_t variant = 1;

    std::string visual() const { return tmp.file("Visual"); }

    int64_t begin(const std::string& app = "Blender", const std::string& title = "model.blend") {
        auto id = store.beginVisualSession("org.blenderfoundation.blender." + app, app, title, std::nullopt);
        EXPECT_TRUE(id);
        return id.value_or(0);
    }
    // One picture a second later than the last.
    VisualFrame add(int64_t session, std::optional<std::string> text = std::nullopt) {
        clock += 1;
        auto frame = store.addVisualFrame(session, tinyJpeg(variant++), text);
        EXPECT_TRUE(frame);
        return frame.value_or(VisualFrame{});
    }
    // A session with `frames` pictures.
    int64_t session(int frames, const std::string& app = "Blender", const std::string& title = "model.blend") {
        int64_t id = begin(app, title);
        for (int i = 0; i < frames; ++i) {
            add(id);
        }
        return id;
    }

    // "session/file" of every picture on disk, and of every frame row.
    std::vector<std::string> files() const {
        std::vector<std::string> out;
        for (const auto& folder : FolderTree::entries(visual())) {
            for (const auto& file : FolderTree::entries(visual() + "/" + folder.name)) {
                out.push_back(folder.name + "/" + file.name);
            }
        }
        return out;
    }
    std::vector<std::string> rows() {
        std::vector<std::string> out;
        for (const auto& row : store.db.query("SELECT session_id, file FROM visual_frame ORDER BY session_id, file")) {
            out.push_back(std::to_string(row.integer("session_id")) + "/" + row.text("file"));
        }
        return out;
    }
    std::vector<std::string> folders() const {
        std::vector<std::string> out;
        for (const auto& folder : FolderTree::entries(visual())) {
            out.push_back(folder.name);
        }
        return out;
    }
    int64_t count(const std::string& table) { return store.db.one("SELECT count(*) AS n FROM " + table)->integer("n"); }
    // Makes every later change of `table` by `event` (INSERT, UPDATE, DELETE) fail.
    void failOn(const std::string& event, const std::string& table) {
        store.db.exec("CREATE TEMP TRIGGER fail_" + table + " BEFORE " + event + " ON " + table +
                      " BEGIN SELECT RAISE(ABORT, 'forced failure'); END;");
    }
};

inline unsigned mode(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
    return st.st_mode & 0777;
}

} // namespace brell::test
