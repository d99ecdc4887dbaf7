#pragma once
// bench_listing's command line: both servers' fields as the window takes them, how many
// presses to time, or only print the query text.

#include "db/ServerAccess.h"
#include "workflow/CompareMode.h"

#include <QStringList>
#include <optional>

namespace bench {

struct ListingOptions {
    dbsync::ServerFields fields;
    int presses = 3;
    bool printQuery = false;
    bool sync = false;  // list once, select every row, time the table synchronisation
    dbsync::workflow::CompareMode compare = dbsync::workflow::CompareMode::Server;
};

// Throws std::invalid_argument with the reason on a bad or incomplete command line.
ListingOptions parseListingOptions(const QStringList &args);

extern const char *const kListingUsage;

}  // namespace bench
