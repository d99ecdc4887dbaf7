#include "app/ScriptPreviewDialog.h"

#include "app/Dialogs.h"
#include "settings/FileWrite.h"

#include <QApplication>
#include <QClipboard>
#include <QFileDialog>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <exception>

namespace dbsync {

ScriptPreviewDialog::ScriptPreviewDialog(const QString &script, QWidget *parent)
    : QDialog(parent), m_script(script)
{
    setObjectName(QStringLiteral("ScriptPreviewDialog"));
    setWindowTitle(QStringLiteral("预览同步语句"));
    resize(820, 520);

    text = new QPlainTextEdit(this);
    text->setObjectName(QStringLiteral("ScriptText"));
    text->setReadOnly(true);
    text->setLineWrapMode(QPlainTextEdit::NoWrap);
    text->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    text->setPlainText(script);

    saveButton = new QPushButton(QStringLiteral("保存为 .sql…"), this);
    copyButton = new QPushButton(QStringLiteral("复制"), this);
    closeButton = new QPushButton(QStringLiteral("关闭"), this);
    for (QPushButton *b : {saveButton, copyButton, closeButton})
        b->setAutoDefault(false);
    connect(saveButton, &QPushButton::clicked, this, &ScriptPreviewDialog::save);
    connect(copyButton, &QPushButton::clicked, this, &ScriptPreviewDialog::copy);
    connect(closeButton, &QPushButton::clicked, this, &QDialog::accept);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(saveButton);
    buttons->addWidget(copyButton);
    buttons->addStretch();
    buttons->addWidget(closeButton);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(text);
    layout->addLayout(buttons);
}

void ScriptPreviewDialog::saveTo(const QString &fileName) const
{
    writeWholeFile(fileName, m_script.toUtf8());
}

void ScriptPreviewDialog::copy() const
{
    QApplication::clipboard()->setText(m_script);
}

void ScriptPreviewDialog::save()
{
    const QString fileName = QFileDialog::getSaveFileName(this, QStringLiteral("保存同步语句"), QString(),
                                                          QStringLiteral("SQL 脚本 (*.sql)"));
    if (fileName.isEmpty())
        return;
    try {
        saveTo(fileName);
    } catch (const std::exception &e) {
        MessageBoxDialogs(this).error(withFullStop(QString::fromUtf8(e.what())));
    }
}

}  // namespace dbsync
