#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "model/TimePoint.h"

// File operations of the history store. All take plain paths and report errors
// as error codes; none throws.
namespace HistoryFile {

namespace fs = std::filesystem;

// Whether anything (file, folder, link) is at the path; an error when that
// cannot be told.
bool itemExists(const fs::path& item, std::error_code& error);

// Removes the permission bits outside `mask`; never adds any. A symbolic link is left alone: its
// target is not ours to change.
std::error_code restrictPermissions(const fs::path& item, fs::perms mask);
// The same for an open file.
std::error_code restrictPermissions(int descriptor, fs::perms mask);

// Creates the folder and its missing parents with mode 0700, then restricts it
// to 0700.
std::error_code createPrivateDirectory(const fs::path& directory);

// Writes ".<name>.<uuid>.tmp" beside the target (mode 0600), flushes it to
// disk, renames it onto the target and flushes the folder, so the target is
// always either the old or the new content.
std::error_code writeAtomically(std::string_view bytes, const fs::path& target);

// Appends `line` to the journal `file` (created 0600, never through a symbolic link) and flushes
// it to disk before returning.
std::error_code appendDurably(std::string_view line, const fs::path& file);

// Creates an empty file (0600) if there is none and makes it and its folder entry durable.
std::error_code createDurably(const fs::path& file);

// Deletes the temporary files that writes to `target` killed midway left behind
// (".<name>.<uuid>.tmp"); nothing else.
void removeStaleTemporaries(const fs::path& target);

// "<file>.corrupt-<whole seconds of now>", counting up while the name is taken.
fs::path backupPath(const fs::path& file, TimePoint now);

// Moves a damaged file (or a link in its place) aside and keeps only the newest
// `maxBackups` quarantined copies. When it cannot be moved it stays where it is,
// untouched, and the error is returned.
std::error_code quarantine(const fs::path& file, TimePoint now, int maxBackups);

// The quarantined copies of `file`, oldest stamp first. A folder that cannot be
// listed yields none, and sets `listError` when given (a missing folder is not
// an error).
std::vector<fs::path> corruptBackups(const fs::path& file, std::error_code* listError = nullptr);

// Deletes copies stamped before now - retention or after now + futureTolerance,
// and restricts the others to 0600.
void maintainBackups(const fs::path& file, TimePoint now, double retention, double futureTolerance);

}  // namespace HistoryFile
