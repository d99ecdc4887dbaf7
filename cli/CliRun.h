#pragma once
// Running one dbsync-cli command: the connection values from options, environment and the
// settings file, then list, script or sync on the same objects and functions as the window.

#include "cli/CliOptions.h"
#include "db/ServerAccess.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace dbsync::cli {

struct Io {
    std::function<void(const QByteArray &)> out;  // results only
    std::function<void(const QByteArray &)> err;  // messages, and progress when wanted
    bool progress = false;                        // standard error is a terminal
    std::function<QString(const char *)> environment;  // an unset variable gives a null text
    QStringList settingsSearchPaths;              // where the window looks for myini.ini, in order
};

// The settings file in use: --settings (which must exist), else the first of the search paths that
// exists, else nothing. Throws UsageError.
std::optional<QString> settingsFileOf(const ConnectionOptions &options, const Io &io);
// The eight values. Throws UsageError naming the first value that nothing gives, or a
// settings file given with --settings that does not exist; the settings reader's errors
// pass through.
ServerFields resolveFields(const ConnectionOptions &options, const Io &io);
// --compare, else the settings file's entry, else the server-side way.
workflow::CompareMode resolveCompareMode(const Options &options, const Io &io);

// 0, 1 or 2 as the help text says; every error ends in a message on io.err and 2.
int run(const Options &options, const Io &io);

}  // namespace dbsync::cli
