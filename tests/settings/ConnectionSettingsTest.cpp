#include "settings/ConnectionSettings.h"
#include "settings/DESUnit.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringEncoder>
#include <QTemporaryDir>

#include <functional>
#include <map>
#include <stdexcept>
#include <string>

namespace {

using namespace dbsync;

const QString kKey = QStringLiteral("52601");

class ConnectionSettingsTest : public ::testing::Test {
protected:
    QString file() const { return m_dir.filePath(QStringLiteral("myini.ini")); }

    void put(const QByteArray &bytes) const
    {
        QFile f(file());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_EQ(f.write(bytes), bytes.size());
    }

    QByteArray get() const
    {
        QFile f(file());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(unreadable)");
    }

    // Reads the file; the texts applied so far, and the error if one ended the read.
    std::pair<std::map<int, QString>, std::string> readAll() const
    {
        std::map<int, QString> applied;
        try {
            readConnectionSettings(file(), [&](int i, const QString &text) { applied[i] = text; });
        } catch (const std::runtime_error &e) {
            return {applied, e.what()};
        }
        return {applied, ""};
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

const std::array<QString, 8> kFields = {
    QStringLiteral("10.1.2.3"), QStringLiteral("sa"), QStringLiteral("p@ss wörd!"), QStringLiteral("sample_db"),
    QStringLiteral(" 127.0.0.1 "), QStringLiteral("   "), QString(), QStringLiteral("target database 2026"),
};

TEST_F(ConnectionSettingsTest, EntriesAreTheEightInTableOrder)
{
    const auto &e = settingsEntries();
    const char *keys[] = {"IP地址", "用户名称", "密码", "数据库"};
    for (std::size_t i = 0; i < 8; ++i) {
        EXPECT_STREQ(e[i].section, i < 4 ? "上级参数" : "程序参数");
        EXPECT_STREQ(e[i].key, keys[i % 4]);
        EXPECT_EQ(e[i].encrypted, i % 4 != 0);
    }
}

TEST_F(ConnectionSettingsTest, WrittenFieldsReadBackAndAreStoredAsHex)
{
    writeConnectionSettings(file(), kFields);
    const auto [applied, error] = readAll();
    EXPECT_EQ(error, "");
    ASSERT_EQ(applied.size(), 8u);
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(applied.at(i), kFields[static_cast<std::size_t>(i)]) << i;

    const QString text = QString::fromUtf8(get());
    EXPECT_TRUE(text.startsWith(QString::fromUtf8("[上级参数]\nIP地址=10.1.2.3\n用户名称=") + DESEncrypt(QStringLiteral("sa"), kKey) + '\n'));
    EXPECT_TRUE(text.contains(QString::fromUtf8("\n密码=\n")));
    EXPECT_FALSE(text.contains(QStringLiteral("sample_db")));
}

TEST_F(ConnectionSettingsTest, ChineseNamesComeBackAsTheirLowBytes)
{
    std::array<QString, 8> fields = kFields;
    fields[3] = QString::fromUtf8("数据");
    writeConnectionSettings(file(), fields);
    EXPECT_EQ(readAll().first.at(3), QString::fromLatin1("\x70\x6E"));
}

TEST_F(ConnectionSettingsTest, MissingFileOrEntriesShowThePlainDefaults)
{
    auto [applied, error] = readAll();
    EXPECT_EQ(error, "");
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(applied.at(i), settingsReadDefaults()[static_cast<std::size_t>(i)]);
    EXPECT_EQ(applied.at(1), QStringLiteral("sa"));
    EXPECT_EQ(applied.at(2), QString());
    EXPECT_EQ(applied.at(3), QStringLiteral("aaa"));

    put(QString::fromUtf8("[上级参数]\n用户名称=\nIP地址=\n[程序参数]\n密码=%1\n").arg(DESEncrypt(QStringLiteral("1234"), kKey)).toUtf8());
    std::tie(applied, error) = readAll();
    EXPECT_EQ(error, "");
    EXPECT_EQ(applied.at(0), QString());
    EXPECT_EQ(applied.at(1), QString());
    EXPECT_EQ(applied.at(3), QStringLiteral("aaa"));
    EXPECT_EQ(applied.at(4), QStringLiteral("127.0.0.1"));
    EXPECT_EQ(applied.at(5), QStringLiteral("sa"));
    EXPECT_EQ(applied.at(6), QStringLiteral("1234"));
}

TEST_F(ConnectionSettingsTest, HandEditedWindowsFileReadsAndKeepsItsOtherLines)
{
    const QString user = DESEncrypt(QStringLiteral("admin"), kKey).toLower();
    const QByteArray before = QString::fromUtf8("; written by hand\r\n[Extra]\r\nkeep = me \r\n\r\n"
                                                "[上级参数]\r\n  IP地址 = 192.168.0.9\r\n用户名称=%1\r\n; trailing note\r\n\r\n"
                                                "[程序参数]\r\nIP地址=localhost\r\nother=1\r\n")
                                  .arg(user)
                                  .toUtf8();
    put(before);
    auto [applied, error] = readAll();
    EXPECT_EQ(error, "");
    EXPECT_EQ(applied.at(0), QStringLiteral("192.168.0.9"));
    EXPECT_EQ(applied.at(1), QStringLiteral("admin"));
    EXPECT_EQ(applied.at(4), QStringLiteral("localhost"));

    writeConnectionSettings(file(), kFields);
    std::tie(applied, error) = readAll();
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(applied.at(i), kFields[static_cast<std::size_t>(i)]) << i;

    // Dropping the eight entry lines from both versions leaves the same bytes.
    const auto withoutEntries = [](const QByteArray &bytes) {
        QByteArrayList kept;
        for (const QByteArray &line : bytes.split('\n')) {
            const QString text = QString::fromUtf8(line).trimmed();
            if (!text.startsWith(QString::fromUtf8("IP地址")) && !text.startsWith(QString::fromUtf8("用户名称"))
                && !text.startsWith(QString::fromUtf8("密码")) && !text.startsWith(QString::fromUtf8("数据库")))
                kept << line;
        }
        return kept.join('\n');
    };
    const QByteArray after = get();
    EXPECT_EQ(withoutEntries(after), withoutEntries(before));
    EXPECT_FALSE(after.contains("\n\n")) << "a line end was changed";
    EXPECT_TRUE(after.contains(QString::fromUtf8("  IP地址 = 10.1.2.3\r\n").toUtf8()));
}

TEST_F(ConnectionSettingsTest, Gb18030FileFromChineseWindowsReads)
{
    QStringEncoder gb("GB18030");
    put(gb.encode(QString::fromUtf8("[上级参数]\r\nIP地址=1.1.1.1\r\n数据库=%1\r\n[程序参数]\r\nIP地址=2.2.2.2\r\n")
                      .arg(DESEncrypt(QStringLiteral("erp"), kKey))));
    const auto [applied, error] = readAll();
    EXPECT_EQ(error, "");
    EXPECT_EQ(applied.at(0), QStringLiteral("1.1.1.1"));
    EXPECT_EQ(applied.at(3), QStringLiteral("erp"));
    EXPECT_EQ(applied.at(4), QStringLiteral("2.2.2.2"));
}

TEST_F(ConnectionSettingsTest, BadStoredValueStopsTheReadAtThatEntry)
{
    put(QString::fromUtf8("[上级参数]\nIP地址=9.9.9.9\n用户名称=%1\n密码=not hex!\n数据库=%1\n")
            .arg(DESEncrypt(QStringLiteral("u"), kKey))
            .toUtf8());
    const auto [applied, error] = readAll();
    EXPECT_EQ(error, "Error: not a Hex String");
    ASSERT_EQ(applied.size(), 2u);
    EXPECT_EQ(applied.at(0), QStringLiteral("9.9.9.9"));
    EXPECT_EQ(applied.at(1), QStringLiteral("u"));
}

TEST_F(ConnectionSettingsTest, FailedWritesLeaveTheOldFile)
{
    writeConnectionSettings(file(), kFields);
    const QByteArray before = get();
    std::array<QString, 8> fields = kFields;

    fields[2] = QStringLiteral("pw") + QChar(0);
    EXPECT_EQ(errorOf([&] { writeConnectionSettings(file(), fields); }), "Error: the last char is NULL char.");
    EXPECT_EQ(get(), before);

    fields = kFields;
    fields[4] = QStringLiteral("1.2.3.4\n[程序参数]");
    EXPECT_EQ(errorOf([&] { writeConnectionSettings(file(), fields); }),
              "Unable to write to " + file().toStdString() + ": a value cannot hold a line break or a NUL character");
    EXPECT_EQ(get(), before);

    ASSERT_TRUE(QFile::setPermissions(file(), QFileDevice::ReadOwner));
    EXPECT_EQ(errorOf([&] { writeConnectionSettings(file(), kFields); }),
              "Unable to write to " + file().toStdString() + ": the file is read-only");
    EXPECT_EQ(get(), before);
}

TEST_F(ConnectionSettingsTest, GarbageFileIsReportedAndNotOverwritten)
{
    QByteArray garbage;
    for (int i = 0; i < 4096; ++i)
        garbage.append(static_cast<char>((i * 7919) & 0xFF));
    put(garbage);
    const auto [applied, error] = readAll();
    EXPECT_TRUE(applied.empty());
    EXPECT_EQ(error, "Unable to read " + file().toStdString() + ": not a text file");
    EXPECT_EQ(errorOf([&] { writeConnectionSettings(file(), kFields); }),
              "Unable to write to " + file().toStdString() + ": not a text file");
    EXPECT_EQ(get(), garbage);
}

TEST_F(ConnectionSettingsTest, ProgramFolderBecomesTheCurrentDirectory)
{
    int argc = 1;
    char name[] = "settings_tests";
    char *argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    const QString start = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(m_dir.path()));
    const QString folder = enterProgramFolder();
    EXPECT_EQ(folder, QCoreApplication::applicationDirPath());
    EXPECT_EQ(QDir::currentPath(), QDir(folder).canonicalPath());
    QDir::setCurrent(start);
}

// The window and dbsync-cli look beside the program first, then in the user's folder; a new file
// goes beside the program only where that can be written.
TEST_F(ConnectionSettingsTest, SettingsFileIsSoughtBesideTheProgramThenInTheUserFolder)
{
    const QString program = m_dir.filePath("bin"), user = m_dir.filePath("user");
    ASSERT_TRUE(QDir().mkpath(program) && QDir().mkpath(user));
    const QStringList paths = settingsSearchPaths(program, user);
    EXPECT_EQ(paths, QStringList({program + "/myini.ini", user + "/myini.ini"}));
    EXPECT_EQ(findSettingsFile(paths), std::nullopt);
    EXPECT_EQ(settingsFolder(program, user), program);

    QFile(user + "/myini.ini").open(QIODevice::WriteOnly);
    EXPECT_EQ(findSettingsFile(paths), user + "/myini.ini");
    EXPECT_EQ(settingsFolder(program, user), user);  // rewritten where it was found
    QFile(program + "/myini.ini").open(QIODevice::WriteOnly);
    EXPECT_EQ(findSettingsFile(paths), program + "/myini.ini");
    EXPECT_EQ(settingsFolder(program, user), program);

    const auto readOnly = QFileDevice::ReadOwner | QFileDevice::ExeOwner;
    ASSERT_TRUE(QFile::remove(program + "/myini.ini") && QFile::remove(user + "/myini.ini"));
    ASSERT_TRUE(QFile::setPermissions(program, readOnly));
    // Root may write anywhere; tests/app/readonly-program.sh runs the unwritable case as nobody.
    if (!QFileInfo(program).isWritable()) {
        EXPECT_EQ(settingsFolder(program, user), user);
    }
    EXPECT_EQ(settingsFolder(m_dir.filePath("missing"), user), user);
    QFile::setPermissions(program, readOnly | QFileDevice::WriteOwner);
}

} // namespace
