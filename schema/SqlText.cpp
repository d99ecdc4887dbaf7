#include "schema/SqlText.h"

namespace dbsync::schema {

namespace {

bool isWordChar(QChar c)
{
    return c.isLetterOrNumber() || c == QLatin1Char('_') || c == QLatin1Char('@') || c == QLatin1Char('#')
        || c == QLatin1Char('$');
}

bool isLineBreak(QChar c)
{
    return c == QLatin1Char('\r') || c == QLatin1Char('\n');
}

// The length of the word at pos when it is one of the candidates (any case) standing alone in
// live code, else 0.
qsizetype wordAt(const QString &text, const QList<SqlCharKind> &kinds, qsizetype pos,
                 std::initializer_list<const char *> candidates)
{
    if (pos > 0 && kinds[pos - 1] == SqlCharKind::Code && isWordChar(text[pos - 1]))
        return 0;
    for (const char *candidate : candidates) {
        const QLatin1StringView word(candidate);
        const qsizetype end = pos + word.size();
        if (end > text.size() || QStringView(text).mid(pos, word.size()).compare(word, Qt::CaseInsensitive) != 0)
            continue;
        bool live = true;
        for (qsizetype i = pos; i < end; ++i)
            live = live && kinds[i] == SqlCharKind::Code;
        if (live && (end == text.size() || kinds[end] != SqlCharKind::Code || !isWordChar(text[end])))
            return word.size();
    }
    return 0;
}

}  // namespace

QList<SqlCharKind> classifySql(const QString &text)
{
    const qsizetype n = text.size();
    QList<SqlCharKind> kinds(n, SqlCharKind::Code);
    qsizetype i = 0;
    const auto at = [&](qsizetype k) { return k < n ? text[k] : QChar(); };
    while (i < n) {
        const QChar c = text[i];
        if (c == QLatin1Char('-') && at(i + 1) == QLatin1Char('-')) {
            while (i < n && !isLineBreak(text[i]))
                kinds[i++] = SqlCharKind::Comment;
        } else if (c == QLatin1Char('/') && at(i + 1) == QLatin1Char('*')) {
            int depth = 0;
            while (i < n) {
                if (text[i] == QLatin1Char('/') && at(i + 1) == QLatin1Char('*')) {
                    ++depth;
                    kinds[i++] = SqlCharKind::Comment;
                } else if (text[i] == QLatin1Char('*') && at(i + 1) == QLatin1Char('/')) {
                    --depth;
                    kinds[i++] = SqlCharKind::Comment;
                }
                if (i < n)
                    kinds[i++] = SqlCharKind::Comment;
                if (depth == 0)
                    break;
            }
        } else if (c == QLatin1Char('\'') || c == QLatin1Char('"') || c == QLatin1Char('[')) {
            const QChar close = c == QLatin1Char('[') ? QLatin1Char(']') : c;
            kinds[i++] = SqlCharKind::Quoted;
            while (i < n) {
                const bool closing = text[i] == close;
                kinds[i++] = SqlCharKind::Quoted;
                if (closing) {
                    if (at(i) != close)
                        break;
                    kinds[i++] = SqlCharKind::Quoted;  // doubled: still inside
                }
            }
        } else {
            ++i;
        }
    }
    return kinds;
}

QString createToAlter(const QString &text)
{
    const QList<SqlCharKind> kinds = classifySql(text);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const qsizetype createLength = wordAt(text, kinds, i, {"CREATE"});
        if (createLength == 0)
            continue;
        qsizetype j = i + createLength;
        bool separated = false;
        while (j < text.size() && (kinds[j] == SqlCharKind::Comment || text[j].isSpace())) {
            separated = true;
            ++j;
        }
        if (separated && j < text.size() && kinds[j] == SqlCharKind::Code
            && wordAt(text, kinds, j, {"PROCEDURE", "PROC", "VIEW"}) > 0)
            return text.left(i) + QLatin1String("ALTER") + text.mid(i + createLength);
        return text;  // the statement's own CREATE is of another kind: leave the text alone
    }
    return text;
}

QString withoutBatchSeparators(const QString &text)
{
    const QList<SqlCharKind> kinds = classifySql(text);
    QString out;
    out.reserve(text.size());
    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype end = start;
        while (end < text.size() && !isLineBreak(text[end]))
            ++end;
        qsizetype next = end;
        if (next < text.size() && text[next] == QLatin1Char('\r'))
            ++next;
        if (next < text.size() && text[next] == QLatin1Char('\n') && (next == end || text[end] == QLatin1Char('\r')))
            ++next;
        bool live = true;
        for (qsizetype k = start; k < end; ++k)
            live = live && kinds[k] == SqlCharKind::Code;
        const bool separator =
            live && QStringView(text).mid(start, end - start).trimmed().compare(QLatin1String("GO"), Qt::CaseInsensitive) == 0;
        if (!separator)
            out += QStringView(text).mid(start, next - start);
        start = next;
    }
    return out;
}

}  // namespace dbsync::schema
