#pragma once
// Building model values in tests, and finding statements in a plan.

#include "schema/model/Objects.h"

#include <gtest/gtest.h>

namespace dbsync::model::test {

inline Column col(const QString &name, const QString &type, int length = 4, bool nullable = true)
{
    Column c;
    c.name = name;
    c.type.name = type;
    c.type.maxLength = length;
    c.type.precision = type == QLatin1String("int") ? 10 : 0;
    c.nullable = nullable;
    return c;
}

// The index of the first statement that starts so; a failure names the whole list.
inline qsizetype position(const QStringList &list, const QString &start)
{
    for (qsizetype i = 0; i < list.size(); ++i)
        if (list[i].startsWith(start))
            return i;
    ADD_FAILURE() << "no statement starts with " << start.toStdString() << " in\n"
                  << list.join(QLatin1Char('\n')).toStdString();
    return -1;
}

}  // namespace dbsync::model::test
