#pragma once
// Synchronising views and procedures: one decision per object from the selected listing rows
// and both catalogues, and the statements that carry it out with the sample's whole definition.
//
// Order in the command: names = routineObjectNames(rows); run routineSidesQueryLines on the
// target server (ADOQuery4, on ADOConnection2 like the listing, so ADOQuery2 keeps the listing
// and its selection) and read it with readRoutineSides; plans = planRoutines(rows, catalogue);
// then routineSyncSteps(plans, reader), where the reader runs routineDefinitionQueryLines the
// same way and returns joinDefinition of the answer; run the steps on ADOQuery3 in order.

#include "schema/RoutineDiffQuery.h"
#include "schema/SyncStep.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

namespace dbsync {
class ResultSet;
}

namespace dbsync::schema {

// What each side holds under a name: "P", "V", or "" when it has no such object.
struct RoutineSides {
    QString sampleType;
    QString targetType;
    bool operator==(const RoutineSides &) const = default;
};

// Keyed by the name in lower case (names compare without regard to case on the server).
using RoutineCatalogue = QHash<QString, RoutineSides>;

enum class RoutineAction {
    None,            // neither side has it (any more)
    Alter,           // same type on both sides: ALTER with the sample's whole definition
    Create,          // sample only: CREATE with the whole definition
    Drop,            // target only: DROP
    DropThenCreate,  // a view on one side, a procedure on the other
};

struct RoutinePlan {
    QString name;
    RoutineSides sides;
    RoutineAction action = RoutineAction::None;
};

// Each object of the rows once, in the order of its first row. Rows whose type or match text
// is none of the listing's own are left out.
QStringList routineObjectNames(const QList<RoutineDiffRow> &selected);

// Lines of one query that lists, for the names, the type of each on both sides: fields
// side ("S" sample, "T" target), name, xtype. Runs on the target server (the connection
// without an initial database), like the listing. No names: no lines (nothing to ask).
QStringList routineSidesQueryLines(const QString &schemaPrefix, const QString &targetDatabase,
                                   const QStringList &names);
// One side's part of it, for that side's own server (side "S" or "T", prefix "[db]..").
QString routineTypesQueryLine(const QString &side, const QString &schemaPrefix, const QStringList &names);
// Several answers of either form may be read into one catalogue.
RoutineCatalogue readRoutineSides(const ResultSet &result, RoutineCatalogue catalogue = {});

RoutineAction decideRoutine(const RoutineSides &sides);
QList<RoutinePlan> planRoutines(const QList<RoutineDiffRow> &selected, const RoutineCatalogue &catalogue);
bool needsDefinition(RoutineAction action);

// The sample's text rows of the object in colid order, read through the remote schema prefix;
// one field, text.
QStringList routineDefinitionQueryLines(const QString &schemaPrefix, const QString &name);
// The text rows of that query joined as they come.
QString joinDefinition(const ResultSet &result);

// "DROP PROCEDURE " + name + " " for "P", "DROP view " + name + " " for "V"; the name quoted
// only when it is not a regular identifier.
QString dropRoutineStatement(const QString &type, const QString &name);
// The definition as it is executed: batch separators gone, and for an ALTER the statement's
// own CREATE keyword turned into ALTER.
QString createRoutineStatement(const QString &definition);
QString alterRoutineStatement(const QString &definition);

// The statements of one object, in order, each run on ADOQuery3 and echoed when CheckBox1 is
// checked. A statement that comes out empty (no definition, or only separators) is left out.
QList<SyncStep> routineSteps(const RoutinePlan &plan, const QString &sampleDefinition);

// The steps of all plans in order; the reader gives the sample's whole definition of a name
// and is called only for plans that need one. Its errors pass through.
using DefinitionReader = std::function<QString(const QString &name)>;
QList<SyncStep> routineSyncSteps(const QList<RoutinePlan> &plans, const DefinitionReader &readDefinition);

}  // namespace dbsync::schema
