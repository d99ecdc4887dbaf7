#include "bench/ListingOptions.h"

#include <stdexcept>

namespace bench {

const char *const kListingUsage =
    "usage: bench_listing --sample HOST,PORT --sample-login L --sample-password P --sample-db D\n"
    "                     --target HOST,PORT --target-login L --target-password P --target-db D\n"
    "                     [--presses N | --print-query | --sync] [--compare server|local]\n"
    "Times Button14Click from press to filled grid N times (default 3), one line per press:\n"
    "\"press I rows R seconds S rss_mb M\". --print-query prints the query text it sends instead.\n"
    "--sync lists once, selects every row and times button22Click from press to its notice.\n"
    "--compare local lists the tool's way (each side read on its own connection) instead of on the server.\n";

ListingOptions parseListingOptions(const QStringList &args)
{
    ListingOptions o;
    dbsync::ServerFields &f = o.fields;
    QString *const fieldSlots[] = {&f.EIP, &f.EUser, &f.EPassword, &f.ComboBox1,
                              &f.Edit2, &f.Edit3, &f.MaskEdit1, &f.ComboBox2};
    const char *const names[] = {"--sample", "--sample-login", "--sample-password", "--sample-db",
                                 "--target", "--target-login", "--target-password", "--target-db"};
    bool given[8] = {};
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString &opt = args[i];
        if (opt == QLatin1String("--print-query")) {
            o.printQuery = true;
            continue;
        }
        if (opt == QLatin1String("--sync")) {
            o.sync = true;
            continue;
        }
        if (i + 1 >= args.size())
            throw std::invalid_argument("missing value after " + opt.toStdString());
        const QString value = args[++i];
        if (opt == QLatin1String("--compare")) {
            const auto mode = dbsync::workflow::compareModeFromName(value);
            if (!mode)
                throw std::invalid_argument("--compare takes server or local");
            o.compare = *mode;
            continue;
        }
        if (opt == QLatin1String("--presses")) {
            bool ok = false;
            o.presses = value.toInt(&ok);
            if (!ok || o.presses < 1)
                throw std::invalid_argument("--presses needs a positive number");
            continue;
        }
        bool known = false;
        for (int k = 0; k < 8; ++k) {
            if (opt == QLatin1String(names[k])) {
                *fieldSlots[k] = value;
                given[k] = known = true;
            }
        }
        if (!known)
            throw std::invalid_argument("unknown option " + opt.toStdString());
    }
    for (int k = 0; k < 8; ++k)
        if (!given[k])
            throw std::invalid_argument(std::string("missing ") + names[k]);
    return o;
}

}  // namespace bench
