#pragma once

#include <QString>

#include <optional>

namespace dbsync::workflow {

// Where the two databases are compared. Server: the target server runs one query that reads
// the sample through an ad hoc distributed query (after the enabling step). Local: each side
// is read over its own connection and the tool joins them, for targets that cannot reach the
// sample (no provider, no sp_configure permission, Azure SQL Database); the same rows, and no
// statement sent to the target holds the sample's password.
enum class CompareMode { Server, Local };

// "server" or "local", as the settings file and the command line write them.
QString compareModeName(CompareMode mode);
std::optional<CompareMode> compareModeFromName(const QString &name);

}  // namespace dbsync::workflow
