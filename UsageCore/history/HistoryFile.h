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

// Removes the permission bits outside `mask`; never adds any.
std::error_code restrictPermissions(const fs::path& item, fs::perms mask);

// Creates the folder and its missing parents with mode 0700, then restricts it
// to 0700.
std::error_code createPrivateDirectory(const fs::path& directory);

// Writes ".<name>.<uuid>.tmp" beside the target (mode 0600), flushes it to
// disk, renames it onto the target and flushes the folder, so the target is
// always either the old or the new content.
std::error_code writeAtomically(std::string_view bytes, const fs::path& target);

// Whole content of a regular file. Other kinds of items (folders, pipes) are an
// error, and so is a file that grew beyond `limit` bytes since it was measured.
std::optional<std::string> readRegularFile(const fs::path& file, std::uintmax_t limit, std::error_code& error);

// "<file>.corrupt-<whole seconds of now>", counting up while the name is taken.
fs::path backupPath(const fs::path& file, TimePoint now);

// Moves a damaged file aside (deleting it when it cannot be moved) and keeps
// only the newest `maxBackups` quarantined copies.
void quarantine(const fs::path& file, TimePoint now, int maxBackups);

// The quarantined copies of `file`, oldest stamp first. A folder that cannot be
// listed yields none, and sets `listError` when given (a missing folder is not
// an error).
std::vector<fs::path> corruptBackups(const fs::path& file, std::error_code* listError = nullptr);

// Deletes copies stamped before now - retention or after now + futureTolerance,
// and restricts the others to 0600.
void maintainBackups(const fs::path& file, TimePoint now, double retention, double futureTolerance);

}  // namespace HistoryFile
