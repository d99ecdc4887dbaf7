#pragma once
// One INI file, read and written the way the Windows profile functions treat such files:
// section and key names match without regard to ASCII case, blanks around names and values
// are ignored, a value in double quotes loses them, the first of duplicate entries counts.
// A write changes only the entry's own line (or adds one); every other byte stays as it was.
// Files are UTF-8; a file that is not valid UTF-8 is read as GB18030 (Chinese Windows) and
// keeps that encoding when written, so its other lines stay byte for byte.

#include <QByteArray>
#include <QString>

#include <optional>
#include <vector>

namespace dbsync {

class IniFile {
public:
    enum class Encoding { Utf8, Gb18030 };
    // Larger files are refused: a settings file is a few hundred bytes.
    static constexpr qint64 kMaxSize = 1024 * 1024;

    // Loads the file; a missing file reads as empty. Throws FileError
    // "Unable to read <fileName>: <reason>" for a folder, a file that cannot be read,
    // one larger than kMaxSize, or one that is not text.
    explicit IniFile(QString fileName);

    // The stored value, or nothing when the file, section or key is missing.
    std::optional<QString> value(const QString &section, const QString &key) const;
    QString read(const QString &section, const QString &key, const QString &defaultValue) const;

    // Sets the entry in memory, adding the section or key at need. A value that cannot stand
    // on one line (line break, U+0000) throws FileError "Unable to write to <fileName>: <reason>".
    void write(const QString &section, const QString &key, const QString &value);

    // Replaces the file by a temporary file renamed over it, so a failed or refused write leaves
    // the old file whole. A read-only file is refused like on Windows, even for root. A new file
    // is readable by its owner only; an existing one keeps its permissions.
    // Throws FileError "Unable to write to <fileName>: <reason>".
    void save() const;

    const QString &fileName() const { return m_fileName; }
    Encoding encoding() const { return m_encoding; }
    // The bytes save() writes.
    QByteArray contents() const;

private:
    struct Line {
        QByteArray bytes; // without its line end
        QByteArray eol;   // "\r\n", "\n", "\r" or empty for a last line without one
    };

    [[noreturn]] void failRead(const QString &reason) const;
    [[noreturn]] void failWrite(const QString &reason) const;
    void parse(const QByteArray &data);
    QString decode(const QByteArray &bytes) const;
    QByteArray encode(const QString &text) const;

    QString m_fileName;
    Encoding m_encoding = Encoding::Utf8;
    bool m_bom = false;
    QByteArray m_eol = "\n";
    std::vector<Line> m_lines;
};

} // namespace dbsync
