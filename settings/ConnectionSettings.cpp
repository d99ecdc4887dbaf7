#include "settings/ConnectionSettings.h"

#include "settings/DESUnit.h"
#include "settings/FileWrite.h"
#include "settings/IniFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <optional>
#include <stdexcept>

namespace dbsync {

const std::array<SettingsEntry, 8> &settingsEntries()
{
    static const std::array<SettingsEntry, 8> entries = {{
        {"上级参数", "IP地址", false},
        {"上级参数", "用户名称", true},
        {"上级参数", "密码", true},
        {"上级参数", "数据库", true},
        {"程序参数", "IP地址", false},
        {"程序参数", "用户名称", true},
        {"程序参数", "密码", true},
        {"程序参数", "数据库", true},
    }};
    return entries;
}

const std::array<QString, 8> &settingsReadDefaults()
{
    // Shown as they are, never decrypted: "sa" is no hex text, and an error or an empty
    // field for a missing entry would only puzzle the user.
    static const std::array<QString, 8> defaults = {
        QStringLiteral("127.0.0.1"), QStringLiteral("sa"), QString(), QStringLiteral("aaa"),
        QStringLiteral("127.0.0.1"), QStringLiteral("sa"), QString(), QStringLiteral("aaa"),
    };
    return defaults;
}

QString enterProgramFolder()
{
    const QString folder = QCoreApplication::applicationDirPath();
    if (folder.isEmpty() || !QDir::setCurrent(folder))
        throw std::runtime_error(QStringLiteral("Unable to enter the program folder %1").arg(folder).toStdString());
    return folder;
}

QString userSettingsFolder()
{
    // Not AppConfigLocation: that follows the program's name, and dbsync-cli must find dbsync's.
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QStringLiteral("/dbsync");
}

QStringList settingsSearchPaths(const QString &programFolder, const QString &userFolder)
{
    const QString name = QFileInfo(QString::fromLatin1(kSettingsFileName)).fileName();
    return {QDir(programFolder).filePath(name), QDir(userFolder).filePath(name)};
}

QStringList settingsSearchPaths()
{
    return settingsSearchPaths(QCoreApplication::applicationDirPath(), userSettingsFolder());
}

std::optional<QString> findSettingsFile(const QStringList &searchPaths)
{
    for (const QString &path : searchPaths)
        if (QFileInfo::exists(path))
            return path;
    return std::nullopt;
}

QString settingsFolder(const QString &programFolder, const QString &userFolder)
{
    const QStringList paths = settingsSearchPaths(programFolder, userFolder);
    if (QFileInfo::exists(paths[0]))
        return programFolder;
    if (QFileInfo::exists(paths[1]))
        return userFolder;
    return QFileInfo(programFolder).isWritable() ? programFolder : userFolder;
}

QString enterSettingsFolder()
{
    const QString program = QCoreApplication::applicationDirPath();
    const QString folder = settingsFolder(program, userSettingsFolder());
    if (folder == program)
        return enterProgramFolder();
    if (folder.isEmpty() || !QDir().mkpath(folder) || !QDir::setCurrent(folder))
        throw std::runtime_error(QStringLiteral("Unable to enter the settings folder %1").arg(folder).toStdString());
    return folder;
}

std::optional<QString> enterFoundSettingsFolder()
{
    const auto found = findSettingsFile(settingsSearchPaths());
    if (!found) {
        enterProgramFolder();
        return std::nullopt;
    }
    const QString folder = QFileInfo(*found).path();
    if (!QDir::setCurrent(folder))
        throw std::runtime_error(QStringLiteral("Unable to enter the settings folder %1").arg(folder).toStdString());
    return found;
}

void writeConnectionSettings(const QString &fileName, const std::array<QString, 8> &fieldTexts,
                             const QList<ExtraSetting> &extras)
{
    const QString key = QString::fromLatin1(kSettingsKey);
    std::array<QString, 8> stored;
    for (std::size_t i = 0; i < stored.size(); ++i)
        stored[i] = settingsEntries()[i].encrypted ? DESEncrypt(fieldTexts[i], key) : fieldTexts[i];

    // A file that cannot be read cannot be updated in place either.
    std::optional<IniFile> ini;
    try {
        ini.emplace(fileName);
    } catch (const FileError &e) {
        throw FileError(QStringLiteral("Unable to write to %1").arg(fileName), e.reason());
    }
    for (std::size_t i = 0; i < stored.size(); ++i) {
        const SettingsEntry &entry = settingsEntries()[i];
        ini->write(QString::fromUtf8(entry.section), QString::fromUtf8(entry.key), stored[i]);
    }
    for (const ExtraSetting &extra : extras)
        ini->write(extra.section, extra.key, extra.value);
    ini->save();
}

std::optional<QString> readPlainSetting(const QString &fileName, const QString &section, const QString &key)
{
    return IniFile(fileName).value(section, key);
}

void readConnectionSettings(const QString &fileName, const std::function<void(int, const QString &)> &apply)
{
    const IniFile ini(fileName);
    const QString key = QString::fromLatin1(kSettingsKey);
    for (std::size_t i = 0; i < settingsEntries().size(); ++i) {
        const SettingsEntry &entry = settingsEntries()[i];
        const std::optional<QString> stored = ini.value(QString::fromUtf8(entry.section), QString::fromUtf8(entry.key));
        QString text;
        if (!stored)
            text = settingsReadDefaults()[i];
        else
            text = entry.encrypted ? DESDecrypt(*stored, key) : *stored;
        apply(static_cast<int>(i), text);
    }
}

} // namespace dbsync
