#pragma once
// Comparing and synchronising every kind of object through the schema model: each side's
// catalogue read over its own connection, the differences listed, and the chosen ones turned
// into statements in dependency order. The listing's rows and the plan come from the same
// comparison, so an empty listing means the two schemas are equal in everything it compares.

#include "db/DatabaseObjects.h"
#include "db/ResultSet.h"
#include "db/ServerAccess.h"
#include "schema/DataLoss.h"
#include "schema/SyncStep.h"
#include "schema/model/Plan.h"

#include <functional>
#include <optional>
#include <utility>

namespace dbsync::workflow {

// Which differences a listing shows.
enum class ObjectScope {
    Routines,  // functions and triggers, next to the view and procedure rows
    Objects,   // indexes, unique and check constraints, foreign keys, alias types
    All,       // every kind, tables and columns included
};

struct SchemaComparison {
    // Each side's items; none are made when the two hold the same objects (model::sameObjects),
    // as then nothing differs and nothing is planned.
    model::ItemSet sample;
    model::ItemSet target;
    QList<model::Difference> differences;
    QList<model::Unsupported> unsupported;  // both sides', each once
    QString targetDatabase;  // names the target's tables in the look-ups; empty: unqualified
};

// Reads both catalogues (the sample over ADOConnection1, the target over ADOConnection2, at
// the same time) and compares them. Errors of the servers pass through.
// modulesOnly reads only what functions and triggers are compared by (for the routine listing).
SchemaComparison compareSchemas(DatabaseObjects &objects, const ServerFields &fields, bool modulesOnly = false);
// The same from two models, for callers that read them otherwise.
SchemaComparison compareModels(const model::Database &sample, const model::Database &target);

bool inScope(model::ItemKind kind, ObjectScope scope);

// The listing: 类型, 匹配情况 ("目标无", "源无", "结构不同", or "不同步" for an object that is
// not synchronised, with the reason in atext), 表名, 对象名称, atext (the sample's statement),
// btext (the target's).
ResultSet objectListing(const SchemaComparison &comparison, ObjectScope scope);
// Whether a result is such a listing.
bool isObjectListing(const ResultSet &result);

// The differences that these rows of a listing show, found again in a fresh comparison by
// kind, match, table and name; rows of objects that are not synchronised choose nothing.
QSet<QString> chosenKeys(const SchemaComparison &comparison, const ResultSet &listing, const QList<int> &rows);

// The statements, on ADOQuery3 (the target database), echoed when CheckBox1 is checked, and
// the steps among them that may lose stored values.
struct ObjectSyncPlan {
    QList<schema::SyncStep> steps;
    QList<schema::DataLossCheck> lossChecks;
};
ObjectSyncPlan objectSyncPlan(const SchemaComparison &comparison, const QSet<QString> &chosen);

// The column listing's identity rows: the steps that rebuild the target's table with these
// columns made (true) or no longer made (false) the identity column, keeping every row and
// value, from the target's catalogue read over ADOConnection2.
QList<schema::SyncStep> identityRebuildSteps(DatabaseObjects &objects, const QString &targetDatabase,
                                             const QString &table,
                                             const QList<std::pair<QString, bool>> &identityColumns);

// Synchronises everything: compare, plan every difference, run, and compare again, until a
// comparison finds nothing or maxRounds rounds have run. Each round runs in one transaction.
// beforeRound sees each round's plan before it runs (for consent, the backup and progress) and
// may stop there (false); beforeStep sees each step.
struct SyncAllOutcome {
    int rounds = 0;          // rounds that ran statements
    qsizetype statements = 0;  // statements, not batches
    bool converged = false;  // the last comparison found no difference
    bool stopped = false;    // beforeRound said no
    SchemaComparison last;
};
// A first comparison just read (the one whose plan the user saw) saves reading both
// catalogues again and runs exactly what was shown.
SyncAllOutcome synchroniseAll(DatabaseObjects &objects, const ServerFields &fields, int maxRounds,
                              const std::function<bool(int, const ObjectSyncPlan &)> &beforeRound = {},
                              const std::function<void(const schema::SyncStep &, qsizetype)> &beforeStep = {},
                              std::optional<SchemaComparison> first = std::nullopt);

}  // namespace dbsync::workflow
