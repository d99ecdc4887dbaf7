#pragma once
// DES string cipher of the settings file: text <-> uppercase hex text under a text key.
// Failures throw std::runtime_error carrying only the message text.

#include <QString>

QString DESEncrypt(const QString &Input, const QString &Key);
QString DESDecrypt(const QString &Input, const QString &Key);

namespace dbsync {
using ::DESDecrypt;
using ::DESEncrypt;
}
