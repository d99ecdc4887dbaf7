#pragma once
// A synchronisation plan as a T-SQL script: a header comment, then each statement followed by
// a line GO, all inside one transaction as the synchronisation runs them. Lines end in CR LF, as the statements' own lines reach the server, so a definition
// runs from the script exactly as the synchronisation would run it.

#include "db/ServerAccess.h"
#include "workflow/Workflow.h"

#include <QDateTime>
#include <QString>

namespace dbsync::workflow {

inline const QString kMaskedPassword = QStringLiteral("********");
// After each statement of a script: once a failure has rolled the transaction back, the rest
// of the script is compiled but not run.
inline const QString kStopWhenRolledBack = QStringLiteral("IF @@TRANCOUNT = 0 SET NOEXEC ON");

struct ScriptSource {
    QString toolVersion;   // toolVersion() in the tool, fixed in tests
    ServerFields fields;   // both servers as the statements were built from them
    QDateTime time;        // when the script was made
    bool withPassword = false;  // keep the sample password in OPENDATASOURCE
};

// The header, then per step its statement text and "GO". Unless withPassword, the sample
// password inside OPENDATASOURCE is written as ******** (the header says so).
QString renderScript(const ScriptSource &source, const Plan &plan);

}  // namespace dbsync::workflow
