// The settings-file commands: write the eight parameter fields, read them back.
#include "app/Form43.h"

#include "settings/ConnectionSettings.h"

#include <QComboBox>
#include <QDir>
#include <QLineEdit>

#include <array>

namespace {

void setFieldText(QWidget *field, const QString &text)
{
    if (auto *combo = qobject_cast<QComboBox *>(field))
        combo->setEditText(text);  // only the text: the list stays and no selection fires
    else
        qobject_cast<QLineEdit *>(field)->setText(text);
}

}  // namespace

void TForm43::Button5Click()
{
    if (!requireText(EIP, QStringLiteral("请添写上级IP地址！"), EIP)
        || !requireText(EUser, QStringLiteral("请添写用户名！"), EUser)
        || !requireText(ComboBox1, QStringLiteral("请添写帐套名称！"), ComboBox1)
        || !requireText(Edit2, QStringLiteral("请添写本地IP地址！"), Edit2)
        || !requireText(Edit3, QStringLiteral("请添写用户名！"), Edit3)
        || !requireText(ComboBox2, QStringLiteral("请添写帐套名称！"), ComboBox2))
        return;
    // Named in full, so that an error says which of the two places it was.
    const QString file = QDir(dbsync::enterSettingsFolder()).absoluteFilePath(QStringLiteral("myini.ini"));
    dbsync::writeConnectionSettings(
        file,
        {EIP->text(), EUser->text(), EPassword->text(), ComboBox1->currentText(), Edit2->text(),
         Edit3->text(), MaskEdit1->text(), ComboBox2->currentText()},
        {{QString::fromUtf8(dbsync::kTargetSection), QString::fromUtf8(dbsync::kCompareModeKey),
          dbsync::workflow::compareModeName(compareMode())}});
    dialogs().inputCheck(QStringLiteral("连接文件生成！"));
}

void TForm43::Button4Click()
{
    const std::array<QWidget *, 8> fields = {EIP,   EUser, EPassword, ComboBox1,
                                             Edit2, Edit3, MaskEdit1, ComboBox2};
    const auto found = dbsync::enterFoundSettingsFolder();
    if (!found)  // said before the fields take the defaults, so that these are not taken for stored values
        dialogs().inputCheck(QStringLiteral("未找到连接文件！已查找：\n%1")
                                 .arg(dbsync::settingsSearchPaths().join(QLatin1Char('\n'))));
    const QString file = found.value_or(QString::fromLatin1(dbsync::kSettingsFileName));
    // Each field takes its text as soon as its entry is read, so a bad entry leaves the
    // fields before it changed and those after it as they were.
    dbsync::readConnectionSettings(file,
                                   [&fields](int index, const QString &text) {
                                       setFieldText(fields.at(size_t(index)), text);
                                   });
    // Without the entry (a file of an earlier version) the comparison runs on the server.
    const auto mode = dbsync::readPlainSetting(file, QString::fromUtf8(dbsync::kTargetSection),
                                               QString::fromUtf8(dbsync::kCompareModeKey));
    setCompareMode(dbsync::workflow::compareModeFromName(mode.value_or(QString()))
                       .value_or(dbsync::workflow::CompareMode::Server));
    Button1Click();
}
