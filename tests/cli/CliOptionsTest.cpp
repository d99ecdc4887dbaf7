// dbsync-cli's command line: what each command takes, and what it refuses.
#include "cli/CliOptions.h"

#include <gtest/gtest.h>

using namespace dbsync::cli;
using dbsync::workflow::ListingFormat;
using dbsync::workflow::ListingKind;

TEST(CliOptions, CommandsTakeTheirOwnOptions)
{
    Options o = parseOptions({"script", "routines", "--sample", "a,1", "--code=源无", "--code", "目标无", "--object",
                              "v1", "--output", "x.sql", "--with-password", "--target-db", "t"});
    EXPECT_EQ(o.command, Command::Script);
    EXPECT_EQ(o.kind, ListingKind::Routines);
    EXPECT_EQ(o.connection.sample, "a,1");
    EXPECT_EQ(o.connection.targetDb, "t");
    EXPECT_FALSE(o.connection.settingsFile.has_value());
    EXPECT_EQ(o.codes, (QStringList{"源无", "目标无"}));
    EXPECT_EQ(o.objects, QStringList{"v1"});
    EXPECT_EQ(o.output, "x.sql");
    EXPECT_TRUE(o.withPassword);

    o = parseOptions({"sync", "tables", "--rounds", "3", "--no-backup"});
    EXPECT_EQ(o.rounds, 3);
    EXPECT_TRUE(o.noBackup);
    EXPECT_EQ(parseOptions({"sync", "tables"}).rounds, 10);
    EXPECT_EQ(parseOptions({"list", "tables", "--format", "json"}).format, ListingFormat::Json);
    EXPECT_TRUE(parseOptions({"list", "--help"}).help);
    EXPECT_EQ(parseOptions({"list", "tables"}).compare, std::nullopt);  // the settings file's, else server
    EXPECT_EQ(parseOptions({"sync", "tables", "--compare", "local"}).compare, dbsync::workflow::CompareMode::Local);
    EXPECT_EQ(parseOptions({"script", "tables", "--compare=server"}).compare, dbsync::workflow::CompareMode::Server);
}

TEST(CliOptions, RefusesWhatCannotBeRun)
{
    for (const QStringList &args : QList<QStringList>{
             {},
             {"frob", "tables"},
             {"list"},
             {"list", "columns"},
             {"list", "tables", "extra"},
             {"list", "tables", "--frob"},
             {"list", "tables", "--format", "xml"},
             {"list", "tables", "--rounds", "2"},       // a sync option
             {"script", "tables", "--no-backup"},        // a sync option
             {"sync", "tables", "--rounds", "0"},
             {"sync", "tables", "--rounds"},
             {"list", "tables", "--no-backup=1"},
             {"list", "tables", "--sample-password", "x"},  // passwords never on the command line
             {"list", "tables", "--target-password=x"},
             {"list", "tables", "--compare", "remote"},
         })
        EXPECT_THROW(parseOptions(args), UsageError) << args.join(' ').toStdString();
}
