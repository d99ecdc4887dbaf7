#pragma once
// The listings and synchronisations without a window, on the window's database objects: the
// window's handlers and dbsync-cli both go through these, so both send the same statements
// through the same objects. Input checks, notices, the echo and the grid stay with the caller.

#include "db/DatabaseObjects.h"
#include "db/ResultSet.h"
#include "db/ServerAccess.h"
#include "schema/ColumnDiffQuery.h"
#include "schema/DataLoss.h"
#include "schema/RoutineDiffQuery.h"
#include "schema/SyncStep.h"
#include "schema/TableSync.h"
#include "workflow/CompareMode.h"
#include "workflow/ObjectSync.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace dbsync::workflow {

enum class ListingKind {
    Tables,    // table column differences
    Routines,  // view and procedure differences, then functions and triggers
    Objects,   // indexes, unique and check constraints, foreign keys, alias types
    All,       // every kind of object, through the schema model
};

// The tool's version, from the build.
QString toolVersion();

// What a comparison or synchronisation needs before it reads the sample: the enabling step
// on ADOCommand1 for the server-side way, nothing for the local one.
void prepareComparison(DatabaseObjects &objects, CompareMode mode);

// Whether the target server's error says it cannot run the server-side way at all: no
// SQLOLEDB provider (7403), four-part names refused (40515), or, on the enabling step, no
// permission or no such procedure (15281, 15247, 15123, 2812).
bool refusesServerSideComparison(int nativeError, bool duringEnablingStep);

// After prepareComparison: closes ADOQuery2 and opens it on the listing.
void openListing(DatabaseObjects &objects, const ServerFields &fields, ListingKind kind,
                 CompareMode mode = CompareMode::Server);
// The object listing (Objects or All) on ADOQuery2, as openListing opens it, and the
// comparison it came from, so that a caller planning at once reads the catalogues only once.
SchemaComparison openObjectListing(DatabaseObjects &objects, const ServerFields &fields, ListingKind kind);
// The table synchronisation's refresh: the column listing without positions, by table only.
void openTableRefresh(DatabaseObjects &objects, const ServerFields &fields, CompareMode mode = CompareMode::Server);

// The local listing's result, from one query per side (over ADOConnection1 and ADOConnection2).
ResultSet localListing(DatabaseObjects &objects, const ServerFields &fields, ListingKind kind, bool refreshForm);

// Which listing a result is, by its fields; none for anything else (or nothing open).
std::optional<ListingKind> listingKind(const ResultSet &result);

// Runs the lines on ADOQuery4 (the target server, no initial database) and gives its result.
const ResultSet &queryOnTargetServer(DatabaseObjects &objects, const QStringList &lines);

// What a synchronisation of some listing rows would run, in order.
struct Plan {
    ListingKind kind = ListingKind::Tables;
    QList<schema::SyncStep> steps;
    // Tables: a create or drop ended it; the rows after it wait for the next listing.
    bool endsEarly = false;
    // Index of the row that ended it, when endsEarly.
    qsizetype endingRow = -1;
    // The steps that may lose stored values, counted on the target before anything runs.
    QList<schema::DataLossCheck> lossChecks;
    // How the listing it came from was compared (a local plan reads nothing through a prefix).
    CompareMode mode = CompareMode::Server;
};

// The look-ups the plans need, run on ADOQuery4 (only SELECTs), then the plan. Nothing changes
// on either server. Errors of the server pass through.
// Compared locally, the sample's side of the look-ups runs on the sample server (ADOConnection1).
Plan planTables(DatabaseObjects &objects, const ServerFields &fields, const QList<schema::ColumnDiffRow> &rows,
                CompareMode mode = CompareMode::Server);
Plan planRoutines(DatabaseObjects &objects, const ServerFields &fields, const QList<schema::RoutineDiffRow> &rows,
                  CompareMode mode = CompareMode::Server);
// The object listing's rows (Objects or All), planned through the schema model from a fresh
// reading of both catalogues; the statements run in the target database.
Plan planObjects(DatabaseObjects &objects, const ServerFields &fields, ListingKind kind, const ResultSet &listing,
                 const QList<int> &positions);
// The same from a comparison just read, for a listing made from it.
Plan planObjects(const SchemaComparison &comparison, ListingKind kind, const ResultSet &listing,
                 const QList<int> &positions);
// The rows at these positions of the result, read without moving any data set.
Plan planRows(DatabaseObjects &objects, const ServerFields &fields, ListingKind kind, const ResultSet &listing,
              const QList<int> &positions, CompareMode mode = CompareMode::Server);

// The text the server receives for the step: the lines joined by CR LF (the command's text).
QString statementText(const schema::SyncStep &step);

// Runs the step on its object. Errors pass through; a step with a subject names it before the
// server's message.
void runStep(DatabaseObjects &objects, const schema::SyncStep &step);
void runStatement(DatabaseObjects &objects, const schema::SyncStep &step);
// Runs the steps in order inside one transaction on the target database's connection
// (ADOConnection3), with XACT_ABORT on; beforeRun sees each (and its index) right before it
// runs, for the echo and progress. The first error rolls everything back and ends it with the
// server's message followed by kTargetUnchanged. A step that runs alone commits what came
// before it and runs after, outside the transaction.
void runSteps(DatabaseObjects &objects, const QList<schema::SyncStep> &steps,
              const std::function<void(const schema::SyncStep &, qsizetype)> &beforeRun = {});

// The line added to the server's message when a synchronisation was rolled back, and the one
// when what ran before a statement that runs alone had been committed.
inline const QString kTargetUnchanged = QStringLiteral("同步已全部撤销，目标数据库没有任何改动");
inline const QString kCommittedBefore = QStringLiteral("此前的语句已经提交，目标数据库保留了它们的改动");

// The statements around a synchronisation's own. Each tells how many transactions are then
// open, so that one left open on the connection before cannot swallow the commit.
inline const QString kBeginTransaction =
    QStringLiteral("SET XACT_ABORT ON;\r\nBEGIN TRANSACTION;\r\nSELECT @@TRANCOUNT AS trancount");
inline const QString kCommitTransaction = QStringLiteral("COMMIT TRANSACTION;\r\nSELECT @@TRANCOUNT AS trancount");
inline const QString kRollbackTransaction = QStringLiteral("IF @@TRANCOUNT > 0 ROLLBACK TRANSACTION");

// Counts each of the plan's loss checks on the target server (ADOQuery4, read-only) and gives
// those that would lose values, with their rows.
QList<schema::DataLoss> findDataLoss(DatabaseObjects &objects, const Plan &plan);

}  // namespace dbsync::workflow
