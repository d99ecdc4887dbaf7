#pragma once
// The desktop tool's comparison queries, as it sends them (lines joined by CR LF).

#include "schema/ColumnDiffQuery.h"
#include "schema/RoutineDiffQuery.h"

#include <QStringList>
#include <string>
#include <vector>

namespace sqlsim::test {

inline std::string remoteDbPrefix(const std::string &server, const std::string &user, const std::string &password,
                                  const std::string &db)
{
    return "OPENDATASOURCE('SQLOLEDB','Data Source=" + server + ";User ID=" + user + ";Password=" + password + "')." + db;
}

// The comparison queries come from the tool's own builders, so the simulator answers
// exactly the texts the tool sends.
inline std::string fromLines(const QStringList &lines)
{
    return lines.join(QStringLiteral("\r\n")).toStdString();
}

inline QString q(const std::string &text)
{
    return QString::fromStdString(text);
}

// The view and procedure difference query; s is the remote schema prefix, t the target database.
inline std::string viewQuery(const std::string &s, const std::string &t)
{
    return fromLines(dbsync::schema::routineDiffQueryLines(q(s), q(t)));
}

// The column comparison query (refresh: the form re-run after synchronising).
inline std::string columnQuery(const std::string &s, const std::string &d, const std::string &t, bool refresh = false)
{
    return fromLines(refresh ? dbsync::schema::columnRefreshQueryLines(q(s), q(d), q(t))
                             : dbsync::schema::columnDiffQueryLines(q(s), q(d), q(t)));
}

}  // namespace sqlsim::test
