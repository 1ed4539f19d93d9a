#pragma once
// The record of what AI assistants read: assistant-access-log.jsonl beside the board
// file, one AccessLogEntry per line as compact JSON (forward slashes written "\/")
// followed by a line feed. The connector appends a line per answered tool call; the
// application reads the newest entries and may clear the file. The file has no header
// and no size limit; docs/assistant-access.md describes it.
//
// Stateless functions, safe from any thread and any number of processes at once: an
// entry is one write(2) to a file opened for appending (appenders also take turns
// under an advisory lock while writing), so concurrent appenders never lose or
// interleave each other's lines. Readers take no lock and skip what does not decode (a
// line cut short by a crash, say).
//
// Nothing here throws (only std::bad_alloc): logging must never stop a read that was
// answered, so failures to record go unreported.
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "BrellCore/connector/AccessLogEntry.h"

namespace brell::AccessLog {

// The board file's folder plus "assistant-access-log.jsonl".
std::string fileURL(const std::string& boardURL);

// The line an entry is recorded as, line feed included; nothing when the entry cannot
// be encoded (a text that is not well-formed UTF-8).
std::optional<std::string> line(const AccessLogEntry& entry);

// Appends the entry's line, creating the folder (0700, with missing parents) and the
// file (0600) when needed. A file whose last line was cut short gets a line feed first,
// so the new entry stays readable. Never replaces an existing file; any failure is
// ignored.
void append(const AccessLogEntry& entry, const std::string& fileURL);

// The last `limit` entries that decode, oldest of them first. Empty when the file is
// missing or unreadable; lines that do not decode are skipped.
std::vector<AccessLogEntry> recent(const std::string& fileURL, std::size_t limit);

// Deletes the log; failures, a missing file included, are ignored.
void clear(const std::string& fileURL);

} // namespace brell::AccessLog
