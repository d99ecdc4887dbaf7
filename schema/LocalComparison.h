#pragma once
// The listings computed by the tool from each side's own answer, for targets that cannot read
// the sample themselves: the same fields, codes, pairing, filter and order as the server-side
// queries. Texts compare under the target's default collation; a comparison with a null on
// either side does not hold, as in SQL.

#include "db/ResultSet.h"

#include <QStringList>

namespace dbsync::schema {

// The column listing (or its refresh form, by whether the sides carry 序号) from the answers
// of columnSideQueryLines on each side, and each side's user table names. Sample rows pair
// with every target row of the same table and column name; pairs keep the sample's order,
// target-only rows follow in theirs; then sorted by table name and position as the listing's
// ORDER BY asks (by table name only in the refresh form), ties in that order.
ResultSet compareColumnSides(const ResultSet &sample, const ResultSet &target, const QStringList &sampleTables,
                             const QStringList &targetTables);

// The view and procedure listing from the answers of routineSideQueryLines on each side,
// paired by name, type and text row number; no order is asked, so pairs come in the
// sample's order and target-only rows after them.
ResultSet compareRoutineSides(const ResultSet &sample, const ResultSet &target);

}  // namespace dbsync::schema
