#include "settings/IniFile.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QStringEncoder>
#include <QTemporaryDir>

#include <functional>
#include <iterator>
#include <random>
#include <stdexcept>
#include <string>

namespace {

using dbsync::IniFile;

class IniFileTest : public ::testing::Test {
protected:
    QString path(const char *name = "test.ini") const { return m_dir.filePath(QString::fromLatin1(name)); }

    static void put(const QString &file, const QByteArray &bytes)
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_EQ(f.write(bytes), bytes.size());
    }

    static QByteArray get(const QString &file)
    {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(unreadable)");
    }

    static std::string errorOf(const std::function<void()> &f)
    {
        try {
            f();
        } catch (const std::runtime_error &e) {
            return e.what();
        }
        return "(no error)";
    }

    QTemporaryDir m_dir;
};

const QString kSec = QString::fromUtf8("上级参数");
const QString kKey = QString::fromUtf8("IP地址");

TEST_F(IniFileTest, MissingFileReadsDefaultsAndIsCreatedOnSave)
{
    IniFile ini(path());
    EXPECT_FALSE(ini.value(kSec, kKey));
    EXPECT_EQ(ini.read(kSec, kKey, QStringLiteral("127.0.0.1")), QStringLiteral("127.0.0.1"));
    ini.write(kSec, kKey, QStringLiteral("10.0.0.1"));
    ini.write(kSec, QStringLiteral("b"), QString());
    ini.save();
    EXPECT_EQ(get(path()), QString::fromUtf8("[上级参数]\nIP地址=10.0.0.1\nb=\n").toUtf8());
    const IniFile again(path());
    EXPECT_EQ(again.value(kSec, kKey), QStringLiteral("10.0.0.1"));
    EXPECT_EQ(again.value(kSec, QStringLiteral("B")), QString());
}

TEST_F(IniFileTest, HandEditedFileReadsLikeWindows)
{
    put(path(), QString::fromUtf8("; settings\r\n[Other]\r\nip地址=no\r\n\r\n  [ 上级参数 ]  \r\n"
                                  "# note\r\n  ip地址  =  192.168.1.5  \r\nQuoted = \" x \"\r\nip地址=second\r\n")
                    .toUtf8());
    const IniFile ini(path());
    EXPECT_EQ(ini.value(kSec, kKey), QStringLiteral("192.168.1.5"));
    EXPECT_EQ(ini.value(kSec, QStringLiteral("quoted")), QStringLiteral(" x "));
    EXPECT_EQ(ini.value(QStringLiteral("OTHER"), kKey), QStringLiteral("no"));
    EXPECT_FALSE(ini.value(QStringLiteral("Missing"), kKey));
    EXPECT_FALSE(ini.value(kSec, QStringLiteral("# note")));
}

TEST_F(IniFileTest, WriteChangesOnlyTheEntryLine)
{
    const QString before = QString::fromUtf8(
        "; settings\r\n[Other]\r\nip地址=no\r\n\r\n[上级参数]\r\n# note\r\n  ip地址  =  old  \r\nx=1\r\nip地址=dup\r\n"
        "\r\n[Tail]\r\nz=2");
    put(path(), before.toUtf8());
    IniFile ini(path());
    ini.write(kSec, kKey, QStringLiteral("new"));
    ini.save();
    QString expected = before;
    expected.replace(QString::fromUtf8("  ip地址  =  old  \r\n"), QString::fromUtf8("  ip地址  =  new\r\n"));
    EXPECT_EQ(get(path()), expected.toUtf8());
    EXPECT_EQ(IniFile(path()).value(kSec, kKey), QStringLiteral("new"));
}

TEST_F(IniFileTest, NewKeysAndSectionsKeepTheFileLineEnds)
{
    put(path(), QString::fromUtf8("[上级参数]\r\nx=1\r\n\r\n[Tail]\r\nz=2").toUtf8());
    IniFile ini(path());
    ini.write(kSec, kKey, QStringLiteral("a"));
    ini.write(QString::fromUtf8("程序参数"), kKey, QStringLiteral("b"));
    ini.write(QStringLiteral("tail"), QStringLiteral("Y"), QStringLiteral("c"));
    ini.save();
    EXPECT_EQ(get(path()), QString::fromUtf8("[上级参数]\r\nx=1\r\nIP地址=a\r\n\r\n[Tail]\r\nz=2\r\nY=c\r\n"
                                              "[程序参数]\r\nIP地址=b\r\n")
                               .toUtf8());
}

// The line the writer changes must be the entry the reader sees, whatever the hand edits.
TEST_F(IniFileTest, WriterAndReaderAgreeOnRandomHandEditedFiles)
{
    const char *pieces[] = {"[上级参数]", " [ 上级参数 ] ", "[other]", "[OTHER] x", "[broken", "[]", "IP地址=1", "  ip地址 = 2 ",
                            "ip地址", "=x", "Key=v", "[上级参数", "\tIP地址\t=\t\" \"", "key = \"q\"", "; IP地址=c", "# [上级参数]", "", "   ", "\t;x"};
    const char *eols[] = {"\r\n", "\n", "\r\n", ""};
    std::mt19937 rng(46);
    for (int round = 0; round < 300; ++round) {
        QByteArray original;
        const int lines = static_cast<int>(rng() % 12);
        for (int i = 0; i < lines; ++i)
            original += QByteArray(pieces[rng() % std::size(pieces)]) + eols[i + 1 == lines ? rng() % 4 : rng() % 3];
        put(path(), original);

        IniFile ini(path());
        const QString value = QStringLiteral("v%1").arg(round);
        ini.write(kSec, kKey, value);
        ini.write(QStringLiteral("Other"), QStringLiteral("KEY"), value);
        ini.save();

        const IniFile again(path());
        ASSERT_EQ(again.value(kSec, kKey), value) << original.toStdString();
        ASSERT_EQ(again.value(QStringLiteral("other"), QStringLiteral("key")), value) << original.toStdString();
        // Lines that hold neither key stay, in order (a last line may have gained its line end).
        const QList<QByteArray> after = get(path()).replace('\r', "").split('\n');
        qsizetype at = 0;
        for (const QByteArray &line : QByteArray(original).replace('\r', "").split('\n')) {
            if (line.toLower().contains("ip地址") || line.toLower().contains("key"))
                continue;
            while (at < after.size() && after[at] != line)
                ++at;
            ASSERT_LT(at, after.size()) << "lost line '" << line.toStdString() << "' of\n" << original.toStdString();
            ++at;
        }
    }
}

TEST_F(IniFileTest, BlanksAndQuotesSurviveARoundTrip)
{
    IniFile ini(path());
    const QStringList values = {QStringLiteral("   "), QStringLiteral(" a\t"), QStringLiteral("\"q\""), QStringLiteral("a\"b"),
                                QStringLiteral("\"")};
    for (int i = 0; i < values.size(); ++i)
        ini.write(kSec, QString::number(i), values[i]);
    ini.save();
    const IniFile again(path());
    for (int i = 0; i < values.size(); ++i)
        EXPECT_EQ(again.value(kSec, QString::number(i)), values[i]) << i;
}

TEST_F(IniFileTest, Gb18030FileIsReadAndKeepsItsEncoding)
{
    QStringEncoder gb("GB18030");
    const QByteArray before = gb.encode(QString::fromUtf8("[上级参数]\r\nIP地址=1.2.3.4\r\n备注=中文\r\n"));
    put(path(), before);
    IniFile ini(path());
    EXPECT_EQ(ini.encoding(), IniFile::Encoding::Gb18030);
    EXPECT_EQ(ini.value(kSec, kKey), QStringLiteral("1.2.3.4"));
    EXPECT_EQ(ini.value(kSec, QString::fromUtf8("备注")), QString::fromUtf8("中文"));
    ini.write(kSec, kKey, QStringLiteral("5.6.7.8"));
    ini.write(QString::fromUtf8("程序参数"), kKey, QStringLiteral("9.9.9.9"));
    ini.save();
    EXPECT_EQ(get(path()), gb.encode(QString::fromUtf8("[上级参数]\r\nIP地址=5.6.7.8\r\n备注=中文\r\n[程序参数]\r\nIP地址=9.9.9.9\r\n")));
}

TEST_F(IniFileTest, Utf8BomIsKept)
{
    put(path(), QByteArray("\xEF\xBB\xBF") + QString::fromUtf8("[上级参数]\nIP地址=1\n").toUtf8());
    IniFile ini(path());
    EXPECT_EQ(ini.value(kSec, kKey), QStringLiteral("1"));
    ini.write(kSec, kKey, QStringLiteral("2"));
    EXPECT_EQ(ini.contents(), QByteArray("\xEF\xBB\xBF") + QString::fromUtf8("[上级参数]\nIP地址=2\n").toUtf8());
}

TEST_F(IniFileTest, FilesThatAreNotSettingsTextAreRefused)
{
    const std::string prefix = "Unable to read " + path().toStdString() + ": ";
    put(path(), QByteArray("[a]\nb=c\n\0\x01\x02\xff", 12));
    EXPECT_EQ(errorOf([&] { IniFile ini(path()); }), prefix + "not a text file");
    put(path(), QByteArray("\x81\x30\xff\xfe\x80\x81"));
    EXPECT_EQ(errorOf([&] { IniFile ini(path()); }), prefix + "not a text file");
    put(path(), QByteArray("\xEF\xBB\xBF\xC9\xCF"));
    EXPECT_EQ(errorOf([&] { IniFile ini(path()); }), prefix + "not valid UTF-8");
    put(path(), QByteArray(IniFile::kMaxSize + 1, 'x'));
    EXPECT_EQ(errorOf([&] { IniFile ini(path()); }), prefix + "the file is larger than 1048576 bytes");
    ASSERT_TRUE(QDir(m_dir.path()).mkdir(QStringLiteral("folder.ini")));
    EXPECT_EQ(errorOf([&] { IniFile ini(path("folder.ini")); }), "Unable to read " + path("folder.ini").toStdString() + ": not a file");
}

TEST_F(IniFileTest, RefusedWritesLeaveTheFileAlone)
{
    const QByteArray before = QString::fromUtf8("[上级参数]\r\nIP地址=1\r\n").toUtf8();
    put(path(), before);
    const std::string message = "Unable to write to " + path().toStdString() + ": ";
    const std::string oneLine = message + "a value cannot hold a line break or a NUL character";

    IniFile ini(path());
    EXPECT_EQ(errorOf([&] { ini.write(kSec, kKey, QStringLiteral("a\nb")); }), oneLine);
    EXPECT_EQ(errorOf([&] { ini.write(kSec, kKey, QStringLiteral("a\r")); }), oneLine);
    EXPECT_EQ(errorOf([&] { ini.write(kSec, kKey, QStringLiteral("a") + QChar(0) + QStringLiteral("b")); }), oneLine);
    EXPECT_EQ(ini.contents(), before);

    ini.write(kSec, kKey, QStringLiteral("2"));
    ASSERT_TRUE(QFile::setPermissions(path(), QFileDevice::ReadOwner | QFileDevice::ReadGroup));
    EXPECT_EQ(errorOf([&] { ini.save(); }), message + "the file is read-only");
    EXPECT_EQ(get(path()), before);

    const QString nowhere = m_dir.filePath(QStringLiteral("missing/test.ini"));
    IniFile lost(nowhere);
    lost.write(kSec, kKey, QStringLiteral("2"));
    EXPECT_EQ(errorOf([&] { lost.save(); }), "Unable to write to " + nowhere.toStdString() + ": No such file or directory");
    EXPECT_FALSE(QFile::exists(nowhere));
}

// The file holds the passwords: a new one is the owner's alone, an existing one keeps its mode.
TEST_F(IniFileTest, SaveKeepsPermissions)
{
    IniFile fresh(path("new.ini"));
    fresh.write(QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("1"));
    fresh.save();
    EXPECT_EQ(QFile::permissions(path("new.ini")) & ~(QFileDevice::ReadUser | QFileDevice::WriteUser),
              QFileDevice::ReadOwner | QFileDevice::WriteOwner);

    put(path(), QByteArray("[a]\nb=1\n"));
    const auto mode = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup;
    ASSERT_TRUE(QFile::setPermissions(path(), mode));
    IniFile ini(path());
    ini.write(QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("2"));
    ini.save();
    EXPECT_EQ(QFile::permissions(path()) & ~(QFileDevice::ReadUser | QFileDevice::WriteUser), mode);
    EXPECT_EQ(get(path()), QByteArray("[a]\nb=2\n"));
}

} // namespace
