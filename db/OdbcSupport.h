#pragma once
// What the connection, query and command objects share on the ODBC C API: the one
// environment, text conversion to and from SQLWCHAR, and turning diagnostics into DbError.

#include "db/DbError.h"

#include <QString>
#include <sql.h>
#include <sqlext.h>
#include <vector>

namespace dbsync::odbc {

// The process's ODBC 3 environment, created on first use.
SQLHENV environment();

std::vector<SQLWCHAR> toSqlWChar(const QString &text);  // terminated by a 0
QString fromSqlWChar(const SQLWCHAR *text, qsizetype length);

struct DiagRecord {
    QString sqlState;
    SQLINTEGER nativeError = 0;
    QString message;
};

std::vector<DiagRecord> diagnostics(SQLSMALLINT handleType, SQLHANDLE handle);

// The error to raise for a failed call: the first record that is not a warning (SQLSTATE
// class 01 is a warning or an informational message), its message stripped of the driver
// prefixes; fallback names the call when the driver gave no record at all.
DbError errorFrom(const std::vector<DiagRecord> &records, const QString &fallback);

// Throws errorFrom(diagnostics(...)) unless rc is a success.
void check(SQLRETURN rc, SQLSMALLINT handleType, SQLHANDLE handle, const char *call);

bool succeeded(SQLRETURN rc);

}  // namespace dbsync::odbc

namespace dbsync {
// Takes leading driver prefixes such as "[FreeTDS][SQL Server]" or "[unixODBC][Driver
// Manager]" off a message; a server text that itself starts with a bracket stays whole.
QString stripDriverPrefixes(const QString &message);
}  // namespace dbsync
