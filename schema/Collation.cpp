#include "schema/Collation.h"

#include <QList>

#include <algorithm>

namespace dbsync::schema {

namespace {

char32_t foldCodePoint(char32_t c)
{
    if (c >= 0xFF01 && c <= 0xFF5E)  // full-width forms stand for their ASCII letters
        c -= 0xFEE0;
    else if (c >= 0x30A1 && c <= 0x30F6)  // katakana stand for hiragana
        c -= 0x60;
    if (c < 0x80)
        return (c >= 'A' && c <= 'Z') ? c + 32 : c;
    // Dotted and dotless i and the long s keep their identity, as the server's collation does.
    if (c == 0x130 || c == 0x131 || c == 0x17F)
        return c;
    return QChar::toCaseFolded(c);
}

}  // namespace

QString collationKey(const QString &text)
{
    qsizetype end = text.size();
    while (end > 0 && text[end - 1] == QLatin1Char(' '))
        --end;
    QString key;
    key.reserve(end);
    bool plain = true;
    for (qsizetype i = 0; i < end && plain; ++i)
        plain = text[i].unicode() < 0x80;
    if (plain) {  // the usual name: ASCII only
        for (qsizetype i = 0; i < end; ++i) {
            const char16_t c = text[i].unicode();
            key.append(QChar(c >= 'A' && c <= 'Z' ? c + 32 : c));
        }
        return key;
    }
    const QList<uint> codePoints = QStringView(text).left(end).toUcs4();
    for (uint c : codePoints) {
        const char32_t folded = foldCodePoint(c);
        if (QChar::requiresSurrogates(folded)) {
            key.append(QChar(QChar::highSurrogate(folded)));
            key.append(QChar(QChar::lowSurrogate(folded)));
        } else {
            key.append(QChar(char16_t(folded)));
        }
    }
    return key;
}

int compareCollated(const QString &a, const QString &b)
{
    // The usual texts are ASCII: compare them in place, letter case folded, trailing blanks
    // left out; anything else goes through the keys.
    qsizetype na = a.size(), nb = b.size();
    while (na > 0 && a[na - 1] == QLatin1Char(' '))
        --na;
    while (nb > 0 && b[nb - 1] == QLatin1Char(' '))
        --nb;
    const QChar *pa = a.constData(), *pb = b.constData();
    const qsizetype n = std::min(na, nb);
    qsizetype i = 0;
    for (; i < n; ++i) {
        char16_t ca = pa[i].unicode(), cb = pb[i].unicode();
        if ((ca | cb) >= 0x80)
            break;
        if (ca >= 'A' && ca <= 'Z')
            ca += 32;
        if (cb >= 'A' && cb <= 'Z')
            cb += 32;
        if (ca != cb)
            return ca < cb ? -1 : 1;
    }
    if (i == n && (i == na || pa[i].unicode() < 0x80) && (i == nb || pb[i].unicode() < 0x80))
        return int(na > n) - int(nb > n);

    // Code point order: UTF-16 order differs from it only above the surrogates, so compare
    // as UCS-4 where either key has one.
    const QString ka = collationKey(a), kb = collationKey(b);
    const auto hasSurrogate = [](const QString &s) {
        for (QChar c : s)
            if (c.isSurrogate())
                return true;
        return false;
    };
    if (!hasSurrogate(ka) && !hasSurrogate(kb))
        return ka.compare(kb);
    const QList<uint> ua = ka.toUcs4(), ub = kb.toUcs4();
    const qsizetype common = std::min(ua.size(), ub.size());
    for (qsizetype k = 0; k < common; ++k)
        if (ua[k] != ub[k])
            return ua[k] < ub[k] ? -1 : 1;
    return int(ua.size() > common) - int(ub.size() > common);
}

}  // namespace dbsync::schema
