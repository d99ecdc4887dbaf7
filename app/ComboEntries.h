#pragma once
// The database lists change their entries without touching the text the box shows: a plain
// QComboBox would show the first entry added to an empty list and blank the text on clear().

#include <QStringList>

class QComboBox;

namespace dbsync {

// Both leave the box with no chosen entry, so the next arrow-key step starts at the top.
void clearEntries(QComboBox *box);
void appendEntry(QComboBox *box, const QString &entry);

}  // namespace dbsync
