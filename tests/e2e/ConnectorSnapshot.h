#pragma once
// What the assistant connector must leave alone, as one text: the board, the sharing
// settings, every row of every table of the memory and every file of the Visual folder.
// Two snapshots taken around a run of brell --mcp must be equal; the access log, the
// connector's only write, is left out.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "BrellCore/connector/AssistantAccess.h"
#include "BrellMemory/db/SQLiteDB.h"
#include "platform/FileSystem.h"
#include "platform/FolderTree.h"
#include "support/TestSupport.h"

namespace brell::test {

inline std::string snapshotValue(const SQLiteDB::Value& value) {
    if (value.isNull()) {
        return "NULL";
    }
    if (value.isInteger()) {
        return std::to_string(*value.integer());
    }
    if (value.isReal()) {
        char buffer[32];
        std::snprintf(buffer, sizeof buffer, "%.17g", *value.real());
        return buffer;
    }
    return "'" + value.text().value_or("") + "'";
}

// Each file below `folder` with its bytes, in name order.
inline void snapshotFolder(const std::string& folder, const std::string& name, std::string& out) {
    for (const auto& entry : FolderTree::entries(folder)) {
        std::string path = folder + "/" + entry.name;
        if (entry.isFolder) {
            snapshotFolder(path, name + "/" + entry.name, out);
        } else {
            out += name + "/" + entry.name + ": " + FileSystem::read(path).value_or("<unreadable>") + "\n";
        }
    }
}

inline std::string connectorSnapshot(const AppHome& home) {
    std::string out = FileSystem::read(home.boardPath()).value_or("<no board>") + "\n--\n" +
                      FileSystem::read(AssistantAccess::fileURL(home.boardPath())).value_or("<no settings>") + "\n--\n";
    if (FileSystem::exists(home.memoryPath())) {
        SQLiteDB db(home.memoryPath(), SQLiteDB::Access::readOnly);
        for (const auto& table : db.query(
                 "SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE 'sqlite_%' ORDER BY name")) {
            std::string name = table.text("name");
            std::vector<std::string> rows;
            for (const auto& row : db.query("SELECT * FROM \"" + name + "\"")) {
                std::string line;
                for (const auto& [column, value] : row.values) {
                    line += column + "=" + snapshotValue(value) + ";";
                }
                rows.push_back(line);
            }
            std::sort(rows.begin(), rows.end());
            out += "[" + name + "]\n";
            for (const auto& line : rows) {
                out += line + "\n";
            }
        }
    }
    out += "--\n";
    snapshotFolder(home.file("Visual"), "Visual", out);
    return out;
}

} // namespace brell::test
