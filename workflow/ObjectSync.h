#pragma once
// Comparing and synchronising every kind of object through the schema model: each side's
// catalogue read over its own connection, the differences listed, and the chosen ones turned
// into statements in dependency order. The listing's rows and the plan come from the same
// comparison, so an empty listing means the two schemas are equal in everything it compares.

#include "db/DatabaseObjects.h"
#include "db/ResultSet.h"
#include "db/ServerAccess.h"
#include "schema/SyncStep.h"
#include "schema/model/Plan.h"

#include <functional>

namespace dbsync::workflow {

// Which differences a listing shows.
enum class ObjectScope {
    Routines,  // functions and triggers, next to the view and procedure rows
    Objects,   // indexes, unique and check constraints, foreign keys, alias types
    All,       // every kind, tables and columns included
};

struct SchemaComparison {
    model::ItemSet sample;
    model::ItemSet target;
    QList<model::Difference> differences;
    QList<model::Unsupported> unsupported;  // both sides', each once
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

// The statements, on ADOQuery3 (the target database), echoed when CheckBox1 is checked.
QList<schema::SyncStep> objectSyncSteps(const SchemaComparison &comparison, const QSet<QString> &chosen);

// Synchronises everything: compare, plan every difference, run, and compare again, until a
// comparison finds nothing or maxRounds rounds have run. beforeRound sees each round's steps
// before they run (for the backup, the echo and progress), beforeStep each step.
struct SyncAllOutcome {
    int rounds = 0;          // rounds that ran statements
    qsizetype statements = 0;
    bool converged = false;  // the last comparison found no difference
    SchemaComparison last;
};
SyncAllOutcome synchroniseAll(DatabaseObjects &objects, const ServerFields &fields, int maxRounds,
                              const std::function<void(int, const QList<schema::SyncStep> &)> &beforeRound = {},
                              const std::function<void(const schema::SyncStep &, qsizetype)> &beforeStep = {});

}  // namespace dbsync::workflow
