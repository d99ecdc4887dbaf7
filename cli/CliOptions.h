#pragma once
// dbsync-cli's command line: the command, the listing it works on, the connection values and
// the command's own options. Passwords never come from here.

#include "workflow/ListingText.h"
#include "workflow/Workflow.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <stdexcept>

namespace dbsync::cli {

enum class Command { List, Script, Sync };

// Given values only; what is missing comes from the settings file or the environment.
struct ConnectionOptions {
    std::optional<QString> settingsFile;
    std::optional<QString> sample, sampleLogin, sampleDb;
    std::optional<QString> target, targetLogin, targetDb;
};

struct Options {
    bool help = false;
    bool version = false;
    Command command = Command::List;
    workflow::ListingKind kind = workflow::ListingKind::Tables;
    ConnectionOptions connection;
    workflow::ListingFormat format = workflow::ListingFormat::Tsv;  // list
    QStringList codes, objects;                                     // script, sync
    std::optional<QString> output;                                  // script
    bool withPassword = false;                                      // script
    int rounds = 10;                                                // sync
    bool noBackup = false;                                          // sync
    bool allowDataLoss = false;                                        // sync
    std::optional<workflow::CompareMode> compare;                   // none: the settings file's, else server
};

// A command line that cannot be run; the text says why.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The arguments after the program name. Throws UsageError.
Options parseOptions(const QStringList &arguments);

// searchPaths: where the settings file is looked for, in order; the first that exists is named as
// the one in use.
QString helpText(const QStringList &searchPaths);
// "dbsync-cli <version>".
QString versionText();

}  // namespace dbsync::cli
