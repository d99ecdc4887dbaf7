#pragma once
// Two listings alike: the same field names, and row by row the same values of the same kinds.

#include "db/ResultSet.h"

#include <gtest/gtest.h>

namespace dbsync::test {

inline QString shown(const QVariant &v)
{
    return v.isValid() ? QStringLiteral("%1 (%2)").arg(v.toString(), QString::fromLatin1(v.typeName()))
                       : QStringLiteral("NULL");
}

inline void expectSameListing(const ResultSet &server, const ResultSet &local)
{
    ASSERT_EQ(local.fieldNames(), server.fieldNames());
    EXPECT_EQ(local.rowCount(), server.rowCount());
    int reported = 0;
    for (int row = 0; row < std::min(local.rowCount(), server.rowCount()) && reported < 5; ++row)
        for (int c = 0; c < server.fieldCount(); ++c) {
            const QVariant &s = server.value(row, c), &l = local.value(row, c);
            if (s.isValid() == l.isValid() && (!s.isValid() || (s.typeId() == l.typeId() && s == l)))
                continue;
            ADD_FAILURE() << "row " << row << ", " << server.fieldNames()[c].toStdString() << ": server-side "
                          << shown(s).toStdString() << ", local " << shown(l).toStdString();
            ++reported;
            break;
        }
}

}  // namespace dbsync::test
