#pragma once
// Reading one database's schema from its documented catalogue views (sys.*): the queries,
// run in the database itself over that side's own connection, and the model made of their
// results.

#include "db/ResultSet.h"
#include "schema/model/Objects.h"

namespace dbsync::model {

// The queries, in the order readDatabase takes their results; each names the catalogue views
// through the database ("[db].sys.tables"), so any connection to its server can run them.
// With modulesOnly, only the queries of tables (by name), modules and their dependencies are
// given; the others are empty texts, whose results readDatabase takes as empty.
QStringList catalogQueries(const QString &database, bool modulesOnly = false);

// The queries that are wanted as one batch: one round trip, its row sets in their order.
QString catalogBatch(const QString &database, bool modulesOnly = false);

// The model of the results of catalogQueries(), one result per query. Objects that are not
// synchronised (outside dbo, encrypted, CLR, computed columns) go to Database::unsupported.
// Throws std::runtime_error when a result lacks a field the model needs.
Database readDatabase(const QList<ResultSet> &results);
// The same from the row sets of catalogBatch() with the same modulesOnly.
Database readCatalogBatch(const QList<ResultSet> &results, bool modulesOnly = false);

}  // namespace dbsync::model
