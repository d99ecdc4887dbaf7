#pragma once
// A listing as text for other programs: tab- or comma-separated under a header line of the
// field names, or JSON; and choosing listing rows by comparison code or object name.

#include "workflow/Workflow.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace dbsync::workflow {

enum class ListingFormat { Tsv, Csv, Json };

// Header line, then one line per row at the positions (allRows() for the whole listing).
// A value holding the separator, a quote or a line break is put in double quotes with its
// quotes doubled, as spreadsheet programs read it. Null is the empty value. Lines end in LF
// for Tsv and CR LF for Csv.
QString delimitedText(const ResultSet &result, const QList<int> &positions, ListingFormat format);
// {"fields": [...], "rows": [[...], ...]}: fields in listing order, null as null, numbers as
// numbers.
QByteArray jsonText(const ResultSet &result, const QList<int> &positions);

// 0 .. rowCount-1.
QList<int> allRows(const ResultSet &result);

// Rows whose comparison code (tables) or match text (routines) is one of codes, and whose
// table (either side) or object name is one of objects; an empty list does not filter. Codes
// compare without their surrounding blanks, names without regard to case.
QList<int> chooseRows(const ResultSet &listing, ListingKind kind, const QStringList &codes,
                      const QStringList &objects);

}  // namespace dbsync::workflow
