#include "schema/model/NamesInText.h"

#include <QHash>
#include <QRegularExpression>

namespace dbsync::model {

QStringList columnsNamedIn(const QString &definition, const Table &table)
{
    // One a thread: the two sides' items are made at once.
    static thread_local const QRegularExpression bracketed(QStringLiteral("\\[((?:[^\\]]|\\]\\])+)\\]"));
    QStringList out;
    for (auto it = bracketed.globalMatch(definition); it.hasNext();) {
        QString name = it.next().captured(1);
        name.replace(QLatin1String("]]"), QLatin1String("]"));
        if (const Column *c = table.column(name); c && !out.contains(c->name))
            out << c->name;
    }
    return out;
}

// The pattern of each type's name is made once a thread.
bool declaresType(const QString &definition, const QString &type)
{
    if (!definition.contains(type, Qt::CaseInsensitive))
        return false;
    static thread_local QHash<QString, QRegularExpression> patterns;
    auto it = patterns.find(type);
    if (it == patterns.end()) {
        const QString named =
            QStringLiteral("(?:(?:\\[dbo\\]|dbo)\\s*\\.\\s*)?(?:\\[%1\\]|%2(?![\\w@#$]))")
                .arg(QRegularExpression::escape(QString(type).replace(QLatin1String("]"), QLatin1String("]]"))),
                     QRegularExpression::escape(type));
        const QString pattern = QStringLiteral("(?:@[\\w@#$]+\\s+(?:as\\s+)?|\\breturns\\s+)%1"
                                               "|\\bas\\s+%1\\s*\\)|\\bconvert\\s*\\(\\s*%1\\s*,"
                                               "|[(,]\\s*(?:\\[(?:[^\\]]|\\]\\])+\\]|[\\w#$]+)\\s+%1(?!\\s*\\.)")
                                    .arg(named);
        it = patterns.insert(type, QRegularExpression(pattern, QRegularExpression::CaseInsensitiveOption
                                                                   | QRegularExpression::UseUnicodePropertiesOption));
    }
    return it->match(definition).hasMatch();
}

}  // namespace dbsync::model
