#include "schema/LineTemplate.h"

namespace dbsync::schema {

QString fillLine(const char *utf8Template, const QHash<QString, QString> &values)
{
    const QString pattern = QString::fromUtf8(utf8Template);
    QString out;
    out.reserve(pattern.size() + 64);
    qsizetype i = 0;
    while (i < pattern.size()) {
        if (pattern[i] == QLatin1Char('{')) {
            const qsizetype close = pattern.indexOf(QLatin1Char('}'), i + 1);
            if (close > i) {
                const QString key = pattern.mid(i + 1, close - i - 1);
                const auto it = values.constFind(key);
                if (it != values.constEnd()) {
                    out += *it;
                    i = close + 1;
                    continue;
                }
            }
        }
        out += pattern[i];
        ++i;
    }
    return out;
}

QStringList fillLines(const char *const *utf8Templates, int count, const QHash<QString, QString> &values)
{
    QStringList lines;
    lines.reserve(count);
    for (int i = 0; i < count; ++i)
        lines.append(fillLine(utf8Templates[i], values));
    return lines;
}

}  // namespace dbsync::schema
