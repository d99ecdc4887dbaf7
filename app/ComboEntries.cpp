#include "app/ComboEntries.h"

#include <QComboBox>

namespace dbsync {

namespace {

template <typename Change>
void keepingText(QComboBox *box, Change change)
{
    const QString text = box->currentText();
    change();
    box->setCurrentIndex(-1);
    box->setEditText(text);
}

}  // namespace

void clearEntries(QComboBox *box)
{
    keepingText(box, [box] { box->clear(); });
}

void appendEntry(QComboBox *box, const QString &entry)
{
    keepingText(box, [box, &entry] { box->addItem(entry); });
}

}  // namespace dbsync
