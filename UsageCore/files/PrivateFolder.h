#pragma once

#include <QString>
#include <system_error>

// Folders only this user may enter.
namespace PrivateFolder {
// Creates `path` and its missing parents with mode 0700 whatever the umask. Folders that exist
// already keep their mode: they may be shared ones such as ~/.config.
std::error_code create(const QString& path);
}  // namespace PrivateFolder
