#include "workflow/Script.h"

#include "db/CrossServer.h"

namespace dbsync::workflow {

namespace {

const QString kEol = QStringLiteral("\r\n");
const QString kGo = QStringLiteral("GO");

QString scriptKindName(ListingKind kind)
{
    switch (kind) {
    case ListingKind::Tables:
        return QStringLiteral("表结构");
    case ListingKind::Routines:
        return QStringLiteral("视图和存储过程");
    case ListingKind::Objects:
        return QStringLiteral("索引和约束");
    case ListingKind::All:
        break;
    }
    return QStringLiteral("全部对象");
}

}  // namespace

QString renderScript(const ScriptSource &source, const Plan &plan)
{
    const ServerFields &f = source.fields;
    QString out;
    const auto comment = [&out](const QString &text) { out += QStringLiteral("-- ") + text + kEol; };
    comment(QStringLiteral("dbsync %1 同步脚本：%2").arg(source.toolVersion, scriptKindName(plan.kind)));
    comment(QStringLiteral("样本数据库：%1 / %2").arg(f.EIP, f.ComboBox1));
    comment(QStringLiteral("目的数据库：%1 / %2").arg(f.Edit2, f.ComboBox2));
    comment(QStringLiteral("生成时间：%1").arg(source.time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))));
    if (plan.mode == CompareMode::Local)
        comment(QStringLiteral("比较方式：在本机比较，语句中没有样本服务器的密码。"));
    else if (!source.withPassword)
        comment(QStringLiteral("OPENDATASOURCE 中的样本密码写作 %1，执行前请换成真实密码。").arg(kMaskedPassword));
    if (plan.kind == ListingKind::Tables)
        comment(QStringLiteral("建表或删表的语句之后同步即结束，其余的行要等重新列出后的下一轮。"));
    if (plan.steps.isEmpty())
        comment(QStringLiteral("没有要执行的语句。"));
    else
        comment(QStringLiteral("全部语句在一个事务中执行：任何一条失败，已执行的都会撤销，其后的不再执行。"));

    // The prefix as the statements carry it, and as the script shows it. An empty password has
    // nothing to hide.
    const QString prefix = remoteDatabasePrefix(f);
    const QString shown = remoteDatabasePrefix(f.EIP, f.EUser, kMaskedPassword, f.ComboBox1);
    const bool mask = !source.withPassword && !f.EPassword.isEmpty();
    const auto batch = [&out](const QString &text) { out += kEol + text + kEol + kGo + kEol; };
    bool open = false;
    for (const schema::SyncStep &step : plan.steps) {
        QString text = statementText(step);
        if (mask)
            text.replace(prefix, shown);
        if (step.alone) {
            if (open)
                batch(QStringLiteral("COMMIT TRANSACTION"));
            open = false;
            batch(text);
            continue;
        }
        if (!open) {
            batch(QStringLiteral("SET XACT_ABORT ON"));
            batch(QStringLiteral("BEGIN TRANSACTION"));
            open = true;
        }
        batch(text);
        // XACT_ABORT has rolled back on an error: the batches after it are compiled only.
        batch(kStopWhenRolledBack);
    }
    if (open)
        batch(QStringLiteral("COMMIT TRANSACTION"));
    if (!plan.steps.isEmpty())
        batch(QStringLiteral("SET NOEXEC OFF"));
    return out;
}

}  // namespace dbsync::workflow
