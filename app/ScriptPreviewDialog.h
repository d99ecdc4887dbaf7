#pragma once
// Shows a synchronisation script, read-only, with "保存为 .sql…" and "复制".

#include <QDialog>

class QPlainTextEdit;
class QPushButton;

namespace dbsync {

class ScriptPreviewDialog : public QDialog {
public:
    ScriptPreviewDialog(const QString &script, QWidget *parent = nullptr);

    const QString &script() const { return m_script; }
    // Writes the script as UTF-8. Throws std::runtime_error when the file cannot be written.
    void saveTo(const QString &fileName) const;
    void copy() const;

    QPlainTextEdit *text = nullptr;
    QPushButton *saveButton = nullptr;
    QPushButton *copyButton = nullptr;
    QPushButton *closeButton = nullptr;

private:
    void save();

    QString m_script;
};

}  // namespace dbsync
