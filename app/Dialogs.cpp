#include "app/Dialogs.h"

#include "app/ScriptPreviewDialog.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>

namespace dbsync {

QString applicationTitle()
{
    return QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
}

QString withFullStop(const QString &text)
{
    if (!text.isEmpty() && text.back().unicode() > u'.')
        return text + QLatin1Char('.');
    return text;
}

void MessageBoxDialogs::inputCheck(const QString &text)
{
    QMessageBox::information(m_parent, QStringLiteral("提示"), text, QMessageBox::Ok);
}

void MessageBoxDialogs::notice(const QString &text)
{
    QMessageBox box(QMessageBox::NoIcon, applicationTitle(), text, QMessageBox::Ok, m_parent);
    box.exec();
}

void MessageBoxDialogs::error(const QString &text)
{
    QMessageBox::critical(m_parent, applicationTitle(), text, QMessageBox::Ok);
}

bool MessageBoxDialogs::question(const QString &text)
{
    return QMessageBox::question(m_parent, applicationTitle(), text, QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::No)
        == QMessageBox::Yes;
}

bool MessageBoxDialogs::confirmPlan(const QString &script)
{
    ScriptPreviewDialog dialog(script, m_parent, QStringLiteral("执行同步"));
    return dialog.exec() == QDialog::Accepted;
}

QString dataLossQuestion(const QStringList &losses)
{
    return QStringLiteral("同步会丢失目的数据库中已有的数据：\n\n") + losses.join(QLatin1Char('\n'))
           + QStringLiteral("\n\n是否继续同步？选“取消”则不执行任何语句。");
}

bool MessageBoxDialogs::confirmDataLoss(const QStringList &losses)
{
    QMessageBox box(QMessageBox::Warning, applicationTitle(), dataLossQuestion(losses), QMessageBox::NoButton, m_parent);
    box.setObjectName(QStringLiteral("DataLossDialog"));
    QPushButton *goOn = box.addButton(QStringLiteral("继续同步"), QMessageBox::AcceptRole);
    QPushButton *cancel = box.addButton(QStringLiteral("取消"), QMessageBox::RejectRole);
    box.setDefaultButton(cancel);
    box.setEscapeButton(cancel);
    box.exec();
    return box.clickedButton() == goOn;
}

}  // namespace dbsync
