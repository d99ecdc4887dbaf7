#include "settings/IniFile.h"

#include "settings/FileWrite.h"

// Debian's SimpleIni is built with ICU conversion; the header must agree with the library.
#define SI_CONVERT_ICU
#include <SimpleIni.h>

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <QStringEncoder>

#include <stdexcept>

namespace dbsync {

namespace {

const QByteArray kUtf8Bom("\xEF\xBB\xBF");
const char *const kGb18030 = "GB18030";

// SimpleIni's blanks inside a line.
bool isBlank(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t');
}

QString trimBlanks(QStringView s)
{
    qsizetype from = 0;
    qsizetype to = s.size();
    while (from < to && isBlank(s[from]))
        ++from;
    while (to > from && isBlank(s[to - 1]))
        --to;
    return s.mid(from, to - from).toString();
}

QChar asciiLower(QChar c)
{
    return (c >= QLatin1Char('A') && c <= QLatin1Char('Z')) ? QChar(c.unicode() + ('a' - 'A')) : c;
}

// Names compare like SimpleIni's case-insensitive comparator: ASCII letters only.
bool sameName(const QString &a, const QString &b)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i)
        if (asciiLower(a[i]) != asciiLower(b[i]))
            return false;
    return true;
}

// How SimpleIni sees one line.
struct LineKind {
    enum Kind { Other, Section, Entry } kind = Other;
    QString name;
};

LineKind classify(const QString &line)
{
    const QString t = trimBlanks(line);
    if (t.isEmpty() || t[0] == QLatin1Char(';') || t[0] == QLatin1Char('#'))
        return {};
    if (t[0] == QLatin1Char('[')) {
        const qsizetype close = t.indexOf(QLatin1Char(']'));
        // SimpleIni moves on to a section that no name matches when the ']' is missing.
        if (close < 0)
            return {LineKind::Section, QStringLiteral("\n")};
        return {LineKind::Section, trimBlanks(QStringView(t).mid(1, close - 1))};
    }
    const qsizetype eq = t.indexOf(QLatin1Char('='));
    if (eq <= 0)
        return {};
    return {LineKind::Entry, trimBlanks(QStringView(t).left(eq))};
}

// A value that would lose blanks or quotes on reading goes in double quotes, which the
// reader (and Windows) strips again.
QString storedForm(const QString &value)
{
    const bool blankEdge = !value.isEmpty() && (isBlank(value.front()) || isBlank(value.back()));
    const bool quoted = value.size() >= 2 && value.front() == QLatin1Char('"') && value.back() == QLatin1Char('"');
    return blankEdge || quoted ? QLatin1Char('"') + value + QLatin1Char('"') : value;
}

bool decodesCleanly(QStringDecoder &&decoder, const QByteArray &bytes)
{
    (void)QString(decoder(bytes));
    return !decoder.hasError();
}

} // namespace

IniFile::IniFile(QString fileName)
    : m_fileName(std::move(fileName))
{
    const QFileInfo info(m_fileName);
    if (!info.exists() && !info.isSymLink())
        return;
    if (!info.isFile())
        failRead(QStringLiteral("not a file"));
    if (info.size() > kMaxSize)
        failRead(QStringLiteral("the file is larger than %1 bytes").arg(kMaxSize));

    QFile file(m_fileName);
    if (!file.open(QIODevice::ReadOnly))
        failRead(file.errorString());
    const QByteArray data = file.read(kMaxSize + 1);
    if (file.error() != QFileDevice::NoError)
        failRead(file.errorString());
    if (data.size() > kMaxSize)
        failRead(QStringLiteral("the file is larger than %1 bytes").arg(kMaxSize));
    parse(data);
}

void IniFile::failRead(const QString &reason) const
{
    throw FileError(QStringLiteral("Unable to read %1").arg(m_fileName), reason);
}

void IniFile::failWrite(const QString &reason) const
{
    throw FileError(QStringLiteral("Unable to write to %1").arg(m_fileName), reason);
}

void IniFile::parse(const QByteArray &data)
{
    m_bom = data.startsWith(kUtf8Bom);
    const QByteArray body = m_bom ? data.mid(kUtf8Bom.size()) : data;
    // SimpleIni stops at a NUL byte, and no settings text holds one.
    if (body.contains('\0'))
        failRead(QStringLiteral("not a text file"));

    if (!decodesCleanly(QStringDecoder(QStringDecoder::Utf8), body)) {
        if (m_bom)
            failRead(QStringLiteral("not valid UTF-8"));
        QStringDecoder gb(kGb18030);
        if (!gb.isValid())
            failRead(QStringLiteral("no GB18030 decoder"));
        if (!decodesCleanly(std::move(gb), body))
            failRead(QStringLiteral("not a text file"));
        m_encoding = Encoding::Gb18030;
    }

    // Line ends as SimpleIni sees them: CR LF, LF or a lone CR. Neither byte occurs inside
    // a UTF-8 or GB18030 character, so the bytes can be split before decoding.
    bool eolKnown = false;
    qsizetype start = 0;
    for (qsizetype i = 0; i < body.size(); ++i) {
        const char c = body[i];
        if (c != '\n' && c != '\r')
            continue;
        const qsizetype eolSize = (c == '\r' && i + 1 < body.size() && body[i + 1] == '\n') ? 2 : 1;
        m_lines.push_back({body.mid(start, i - start), body.mid(i, eolSize)});
        if (!eolKnown) {
            m_eol = m_lines.back().eol;
            eolKnown = true;
        }
        i += eolSize - 1;
        start = i + 1;
    }
    if (start < body.size())
        m_lines.push_back({body.mid(start), QByteArray()});
}

QString IniFile::decode(const QByteArray &bytes) const
{
    if (m_encoding == Encoding::Utf8)
        return QString::fromUtf8(bytes);
    QStringDecoder gb(kGb18030);
    return gb.decode(bytes);
}

QByteArray IniFile::encode(const QString &text) const
{
    if (m_encoding == Encoding::Utf8)
        return text.toUtf8();
    QStringEncoder gb(kGb18030);
    return gb.encode(text);
}

QByteArray IniFile::contents() const
{
    QByteArray out = m_bom ? kUtf8Bom : QByteArray();
    for (const Line &line : m_lines)
        out += line.bytes + line.eol;
    return out;
}

std::optional<QString> IniFile::value(const QString &section, const QString &key) const
{
    QByteArray text;
    for (const Line &line : m_lines)
        text += line.bytes + line.eol;
    if (m_encoding != Encoding::Utf8)
        text = decode(text).toUtf8();

    CSimpleIniA ini(true, true, false); // UTF-8, keep duplicates so the first can be taken
    ini.SetQuotes(true);
    if (ini.LoadData(text.constData(), static_cast<size_t>(text.size())) < 0)
        failRead(QStringLiteral("the INI text cannot be parsed"));

    const QByteArray sectionName = section.toUtf8();
    const QByteArray keyName = key.toUtf8();
    CSimpleIniA::TNamesDepend values;
    if (!ini.GetAllValues(sectionName.constData(), keyName.constData(), values) || values.empty())
        return std::nullopt;
    values.sort(CSimpleIniA::Entry::LoadOrder());
    return QString::fromUtf8(values.front().pItem);
}

QString IniFile::read(const QString &section, const QString &key, const QString &defaultValue) const
{
    return value(section, key).value_or(defaultValue);
}

void IniFile::write(const QString &section, const QString &key, const QString &value)
{
    if (value.contains(QLatin1Char('\n')) || value.contains(QLatin1Char('\r')) || value.contains(QChar(0)))
        failWrite(QStringLiteral("a value cannot hold a line break or a NUL character"));
    const QString stored = storedForm(value);

    bool inSection = false;
    std::optional<std::size_t> firstSectionEnd; // last non-blank line of the first matching section
    bool inFirstSection = false;
    for (std::size_t i = 0; i < m_lines.size(); ++i) {
        const QString text = decode(m_lines[i].bytes);
        const LineKind kind = classify(text);
        if (kind.kind == LineKind::Section) {
            inSection = sameName(kind.name, section);
            inFirstSection = inSection && !firstSectionEnd;
            if (inFirstSection)
                firstSectionEnd = i;
            continue;
        }
        if (inFirstSection && !trimBlanks(text).isEmpty())
            firstSectionEnd = i;
        if (inSection && kind.kind == LineKind::Entry && sameName(kind.name, key)) {
            // Keep the key and the blanks after '=' as they were; '=' is never part of a
            // multi-byte character in UTF-8 or GB18030.
            QByteArray &bytes = m_lines[i].bytes;
            qsizetype valueStart = bytes.indexOf('=') + 1;
            while (valueStart < bytes.size() && (bytes[valueStart] == ' ' || bytes[valueStart] == '\t'))
                ++valueStart;
            bytes = bytes.left(valueStart) + encode(stored);
            return;
        }
    }

    const Line entry{encode(key + QLatin1Char('=') + stored), m_eol};
    if (firstSectionEnd) {
        Line &before = m_lines[*firstSectionEnd];
        if (before.eol.isEmpty())
            before.eol = m_eol;
        m_lines.insert(m_lines.begin() + static_cast<std::ptrdiff_t>(*firstSectionEnd + 1), entry);
        return;
    }
    if (!m_lines.empty() && m_lines.back().eol.isEmpty())
        m_lines.back().eol = m_eol;
    m_lines.push_back({encode(QLatin1Char('[') + section + QLatin1Char(']')), m_eol});
    m_lines.push_back(entry);
}

void IniFile::save() const
{
    const QFileInfo info(m_fileName);
    if (info.exists()) {
        // Windows refuses a read-only file; root would not, and the rename would replace it.
        constexpr auto anyWrite = QFileDevice::WriteOwner | QFileDevice::WriteGroup | QFileDevice::WriteOther;
        if (!info.isFile())
            failWrite(QStringLiteral("not a file"));
        if (!info.isWritable() || !(info.permissions() & anyWrite))
            failWrite(QStringLiteral("the file is read-only"));
    }
    // It holds the passwords: a new file is the owner's alone.
    writeWholeFile(m_fileName, contents(), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

} // namespace dbsync
