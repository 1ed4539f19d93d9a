#include "BrellMemory/db/MemoryStore.h"

#include <charconv>

#include "BrellMemory/db/Schema.h"
#include "platform/Environment.h"
#include "platform/FileSystem.h"
#include "platform/SystemClock.h"
#include "util/Digest.h"

namespace brell {

MemoryStore::MemoryStore(const std::string& path, MemoryConfig config, Clock now)
    : db(path), config(config), now(now ? std::move(now) : Clock(systemNow)) {
    Schema::migrate(db);
}

MemoryStore::MemoryStore(SQLiteDB db, MemoryConfig config, Clock now)
    : db(std::move(db)), config(config), now(now ? std::move(now) : Clock(systemNow)) {}

std::unique_ptr<MemoryStore> MemoryStore::openReadOnly(const std::string& path, MemoryConfig config, Clock now) {
    if (!FileSystem::exists(path)) {
        return nullptr;
    }
    try {
        SQLiteDB db(path, SQLiteDB::Access::readOnly);
        if (Schema::version(db) != Schema::currentVersion) {
            return nullptr;
        }
        return std::unique_ptr<MemoryStore>(new MemoryStore(std::move(db), config, std::move(now)));
    } catch (const Error&) {
        return nullptr;
    }
}

std::string MemoryStore::defaultPath() {
    if (auto path = Environment::nonEmptyValue("BRELL_MEMORY_DB")) {
        return Environment::expandTilde(*path);
    }
    return Environment::join(Environment::applicationSupportFolder(), "BRELL/Memory.sqlite");
}

std::optional<std::string> MemoryStore::meta(std::string_view key) {
    auto row = db.one("SELECT value FROM meta WHERE key = ?", {SQLiteDB::Value(key)});
    if (!row) {
        return std::nullopt;
    }
    return row->text("value");
}

std::string MemoryStore::sha(std::string_view text) {
    return Digest::sha256Hex(text);
}

std::string MemoryStore::dateText(Date date) {
    char buffer[64];
    auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, date, std::chars_format::fixed);
    if (error != std::errc()) {
        return std::to_string(date);
    }
    return std::string(buffer, end);
}

} // namespace brell
