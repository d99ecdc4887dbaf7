#pragma once
// The settings file that keeps both servers' connection parameters ("./myini.ini" in the
// program's folder, or in the user's configuration folder where an installed program's folder
// cannot be written). Addresses are stored as typed; names, passwords and databases as DES hex
// text under the settings key.

#include <QList>
#include <QStringList>
#include <QString>

#include <array>
#include <functional>
#include <optional>

namespace dbsync {

struct SettingsEntry {
    const char *section; // UTF-8
    const char *key;     // UTF-8
    bool encrypted;
};

// The eight entries in the order both commands handle them: sample server, then target server,
// each address, login name, password, database.
const std::array<SettingsEntry, 8> &settingsEntries();

inline constexpr const char *kSettingsKey = "52601";
inline constexpr const char *kSettingsFileName = "./myini.ini";

// What a missing entry shows, as plain text: "127.0.0.1", "sa", "" (password), "aaa".
const std::array<QString, 8> &settingsReadDefaults();

// Makes the program's folder (QCoreApplication::applicationDirPath()) the current directory;
// returns it. Throws std::runtime_error when the folder cannot be entered.
QString enterProgramFolder();

// The user's configuration folder for the settings file, the same for the window and dbsync-cli:
// $XDG_CONFIG_HOME/dbsync, usually ~/.config/dbsync.
QString userSettingsFolder();

// Where the settings file is looked for, in this order: beside the program, then in the user's
// configuration folder. Full paths.
QStringList settingsSearchPaths(const QString &programFolder, const QString &userFolder);
QStringList settingsSearchPaths();

// The first of the search paths that exists, or nothing.
std::optional<QString> findSettingsFile(const QStringList &searchPaths);

// The folder a written settings file goes to: the one that holds the file found first; without
// one, programFolder when it can be written (a build tree, a private prefix), else userFolder,
// which an installed program's user can write.
QString settingsFolder(const QString &programFolder, const QString &userFolder);

// Makes settingsFolder(program's folder, userSettingsFolder()) the current directory, creating
// the latter when it is chosen; returns it. Throws std::runtime_error when the folder cannot be
// made or entered.
QString enterSettingsFolder();

// Makes the folder of the settings file found first the current directory and returns the file's
// full path; without one, makes the program's folder current and returns nothing.
std::optional<QString> enterFoundSettingsFolder();

// Writes the eight field texts (table order) to fileName, encrypting all but the two addresses.
// Everything is encrypted before the file is touched, and the file is replaced in one step, so
// on any failure the old file is unchanged. A new file is readable by its owner only. Throws
// std::runtime_error with the cipher's message, or FileError "Unable to write to <fileName>:
// <reason>" when the file cannot be written.
// Extras: further entries, each (section, key, value) in plain text, written in the same step.
struct ExtraSetting {
    QString section, key, value;
};
void writeConnectionSettings(const QString &fileName, const std::array<QString, 8> &fieldTexts,
                             const QList<ExtraSetting> &extras = {});

// How the databases are compared ("server" or "local"): one more plain entry of the target's
// section, which readers of the eight entries pass over.
inline constexpr const char *kTargetSection = "程序参数";
inline constexpr const char *kCompareModeKey = "比较方式";
// A plain entry as stored, or nothing when the file, section or key is missing.
std::optional<QString> readPlainSetting(const QString &fileName, const QString &section, const QString &key);

// Reads the eight entries in table order and calls apply(index, text) right after each one is
// read and decrypted, so a failure part-way leaves the earlier fields set. A missing entry gives
// its default from settingsReadDefaults(); a present, empty one gives the empty text.
// Throws std::runtime_error with the cipher's message ("Error: not a Hex String") on a bad stored
// value, or "Unable to read <fileName>: <reason>" when the file cannot be read.
void readConnectionSettings(const QString &fileName, const std::function<void(int, const QString &)> &apply);

} // namespace dbsync
