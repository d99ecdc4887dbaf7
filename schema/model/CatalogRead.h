#pragma once
// Reading one database's schema from its documented catalogue views (sys.*): the queries,
// run in the database itself over that side's own connection, and the model made of their
// results.

#include "db/ResultSet.h"
#include "db/RowVisitor.h"
#include "schema/model/Objects.h"

#include <memory>

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

// The same as the rows of catalogBatch() arrive (AdoQuery::visitAllTogether), keeping none of
// them: the model grows while the server still sends.
class CatalogBuilder : public RowVisitor {
public:
    explicit CatalogBuilder(bool modulesOnly = false);
    ~CatalogBuilder() override;
    void begin(const QStringList &fieldNames) override;
    void row(const FetchedRow &row) override;
    void end() override;
    // The model, once; throws std::runtime_error unless every row set has come.
    Database take();

private:
    struct State;
    std::unique_ptr<State> d;
};

}  // namespace dbsync::model
