#include "cli/CliRun.h"

#include "db/AdoConnection.h"
#include "db/CrossServer.h"
#include "db/DatabaseObjects.h"
#include "db/DbError.h"
#include "maintenance/Backup.h"
#include "settings/ConnectionSettings.h"
#include "settings/FileWrite.h"
#include "workflow/ListingText.h"
#include "workflow/Script.h"
#include "workflow/Workflow.h"

#include <QDateTime>
#include <QFileInfo>

#include <array>
#include <exception>
#include <optional>

namespace dbsync::cli {

namespace {

[[noreturn]] void usage(const QString &text)
{
    throw UsageError(text.toStdString());
}

QByteArray line(const QString &text)
{
    return (text + QLatin1Char('\n')).toUtf8();
}

bool isObjectKind(workflow::ListingKind kind)
{
    return kind == workflow::ListingKind::Objects || kind == workflow::ListingKind::All;
}

// Opens the listing on ADOQuery2, as the window's listing command does: the enabling step
// first (server-side only), except for the object listings, which read each catalogue over
// its own connection. Those give the comparison they came from, for planning without
// reading both catalogues again.
std::optional<workflow::SchemaComparison> list(DatabaseObjects &objects, const ServerFields &fields,
                                               const Options &options)
{
    if (isObjectKind(options.kind))
        return workflow::openObjectListing(objects, fields, options.kind);
    bool enabling = true;
    try {
        workflow::prepareComparison(objects, *options.compare);
        enabling = false;
        workflow::openListing(objects, fields, options.kind, *options.compare);
    } catch (const DbError &e) {
        // The window offers the other way here; a script is told how to ask for it.
        if (*options.compare == workflow::CompareMode::Server
            && workflow::refusesServerSideComparison(e.nativeError(), enabling))
            throw DbError(e.message()
                              + QStringLiteral("\n目的服务器不能通过分布式查询读取样本数据库；可用 --compare local 在本机比较"),
                          e.sqlState(), e.nativeError());
        throw;
    }
    return std::nullopt;
}

workflow::Plan planChosen(DatabaseObjects &objects, const ServerFields &fields, const Options &options,
                          const std::optional<workflow::SchemaComparison> &comparison)
{
    const ResultSet &listing = objects.ADOQuery2.result();
    const QList<int> rows = workflow::chooseRows(listing, options.kind, options.codes, options.objects);
    if (rows.isEmpty()) {
        workflow::Plan none;
        none.kind = options.kind;
        none.mode = *options.compare;
        return none;
    }
    if (comparison)
        return workflow::planObjects(*comparison, options.kind, listing, rows);
    return workflow::planRows(objects, fields, options.kind, listing, rows, *options.compare);
}

// The three connections of the window's connect command, in its order; a failure names the side
// and the address before the driver's message, which alone does not say which server it was.
void connect(AdoConnection &connection, const ConnectionParameters &parameters, const QString &side)
{
    try {
        reopenConnection(connection, parameters);
    } catch (const DbError &e) {
        throw DbError(QStringLiteral("无法连接%1 %2：%3").arg(side, parameters.address, e.message()), e.sqlState(),
                      e.nativeError());
    }
}

QString firstLine(const QString &text)
{
    const QString simple = text.simplified();
    return simple.size() > 100 ? simple.left(100) + QStringLiteral("…") : simple;
}

int listCommand(DatabaseObjects &objects, const ServerFields &fields, const Options &options, const Io &io)
{
    list(objects, fields, options);
    const ResultSet &listing = objects.ADOQuery2.result();
    if (options.format == workflow::ListingFormat::Json)
        io.out(workflow::jsonText(listing, workflow::allRows(listing)));
    else
        io.out(workflow::delimitedText(listing, workflow::allRows(listing), options.format).toUtf8());
    return listing.rowCount() > 0 ? 1 : 0;
}

int scriptCommand(DatabaseObjects &objects, const ServerFields &fields, const Options &options, const Io &io)
{
    const auto comparison = list(objects, fields, options);
    const workflow::Plan plan = planChosen(objects, fields, options, comparison);
    const QByteArray script =
        workflow::renderScript({workflow::toolVersion(), fields, QDateTime::currentDateTime(), options.withPassword},
                               plan)
            .toUtf8();
    if (options.output) {
        writeWholeFile(*options.output, script);
    } else {
        io.out(script);
    }
    return plan.steps.isEmpty() ? 0 : 1;
}

int syncCommand(DatabaseObjects &objects, const ServerFields &fields, const Options &options, const Io &io)
{
    bool backedUp = options.noBackup;
    for (int round = 1; round <= options.rounds; ++round) {
        const auto comparison = list(objects, fields, options);
        const workflow::Plan plan = planChosen(objects, fields, options, comparison);
        if (plan.steps.isEmpty()) {
            if (round > 1)
                io.err(line(QStringLiteral("同步完成：用了 %1 轮").arg(round - 1)));
            return 0;
        }
        if (!plan.lossChecks.isEmpty() && !options.allowDataLoss) {
            // Counted before anything runs: without the user's word, nothing does.
            const QList<schema::DataLoss> losses = workflow::findDataLoss(objects, plan);
            if (!losses.isEmpty()) {
                io.err(line(QStringLiteral("dbsync-cli: 同步会丢失目的数据库中已有的数据：")));
                for (const QString &loss : schema::dataLossLines(losses))
                    io.err(line(QStringLiteral("  ") + loss));
                io.err(line(QStringLiteral("没有执行任何语句。确认可以丢失这些数据时，请加 --allow-data-loss 再运行。")));
                return 2;
            }
        }
        if (!backedUp) {
            // As the window: the first synchronisation backs the target up before anything.
            if (const auto notice = runBackup(fields.ComboBox2, QDateTime::currentDateTime(), objects.ADOQuery3))
                io.err(line(*notice));
            backedUp = true;
        }
        if (io.progress)
            io.err(line(QStringLiteral("第 %1 轮：%2 条语句").arg(round).arg(plan.steps.size())));
        // What ran goes to standard output as a script would show it, the password masked.
        workflow::runSteps(objects, plan.steps, [&](const schema::SyncStep &step, qsizetype i) {
            if (io.progress)
                io.err(line(QStringLiteral("  [%1/%2] %3").arg(i + 1).arg(plan.steps.size()).arg(
                    firstLine(workflow::statementText(step)))));
            QString text = workflow::statementText(step);
            if (!fields.EPassword.isEmpty())
                text.replace(remoteDatabasePrefix(fields),
                             remoteDatabasePrefix(fields.EIP, fields.EUser, workflow::kMaskedPassword, fields.ComboBox1));
            io.out((text + QStringLiteral("\r\nGO\r\n")).toUtf8());
        });
    }
    // The rounds are used up: what the last one left.
    const auto comparison = list(objects, fields, options);
    const workflow::Plan left = planChosen(objects, fields, options, comparison);
    if (!left.steps.isEmpty())
        io.err(line(QStringLiteral("%1 轮之后仍有可同步的行").arg(options.rounds)));
    return left.steps.isEmpty() ? 0 : 1;
}

}  // namespace

std::optional<QString> settingsFileOf(const ConnectionOptions &options, const Io &io)
{
    if (!options.settingsFile)
        return findSettingsFile(io.settingsSearchPaths);
    if (!QFileInfo::exists(*options.settingsFile))
        usage(QStringLiteral("设置文件不存在：%1").arg(*options.settingsFile));
    return *options.settingsFile;
}

workflow::CompareMode resolveCompareMode(const Options &options, const Io &io)
{
    if (options.compare)
        return *options.compare;
    const auto settingsFile = settingsFileOf(options.connection, io);
    if (!settingsFile)
        return workflow::CompareMode::Server;
    const auto stored = readPlainSetting(*settingsFile, QString::fromUtf8(kTargetSection), QString::fromUtf8(kCompareModeKey));
    return workflow::compareModeFromName(stored.value_or(QString())).value_or(workflow::CompareMode::Server);
}

ServerFields resolveFields(const ConnectionOptions &options, const Io &io)
{
    // Settings first, in the window's order; then the options and environment over them.
    std::array<std::optional<QString>, 8> values;
    const auto settingsFile = settingsFileOf(options, io);
    if (settingsFile)
        readConnectionSettings(*settingsFile, [&values](int i, const QString &text) { values[size_t(i)] = text; });

    const auto set = [&values](int i, const std::optional<QString> &value) {
        if (value)
            values[size_t(i)] = *value;
    };
    const auto env = [&io](const char *name) -> std::optional<QString> {
        const QString value = io.environment(name);
        return value.isNull() ? std::nullopt : std::optional<QString>(value);
    };
    set(0, options.sample);
    set(1, options.sampleLogin);
    set(2, env("DBSYNC_SAMPLE_PASSWORD"));
    set(3, options.sampleDb);
    set(4, options.target);
    set(5, options.targetLogin);
    set(6, env("DBSYNC_TARGET_PASSWORD"));
    set(7, options.targetDb);

    const std::array<QString, 8> missing{
        QStringLiteral("缺少样本服务器地址：请用 --sample 给出，或写在设置文件中"),
        QStringLiteral("缺少样本服务器用户名：请用 --sample-login 给出，或写在设置文件中"),
        QStringLiteral("缺少样本服务器密码：请写在设置文件中，或设置环境变量 DBSYNC_SAMPLE_PASSWORD"),
        QStringLiteral("缺少样本数据库：请用 --sample-db 给出，或写在设置文件中"),
        QStringLiteral("缺少目的服务器地址：请用 --target 给出，或写在设置文件中"),
        QStringLiteral("缺少目的服务器用户名：请用 --target-login 给出，或写在设置文件中"),
        QStringLiteral("缺少目的服务器密码：请写在设置文件中，或设置环境变量 DBSYNC_TARGET_PASSWORD"),
        QStringLiteral("缺少目的数据库：请用 --target-db 给出，或写在设置文件中"),
    };
    for (size_t i = 0; i < values.size(); ++i) {
        // The target password may be empty, as in the window; every other value must be there.
        const bool empty = !values[i] || (i != 6 && values[i]->trimmed().isEmpty());
        if (empty)  // without a file, say where none was found: the window's file may be elsewhere
            usage(settingsFile ? missing[i]
                               : missing[i] + QStringLiteral("（未找到设置文件，已查找：%1）")
                                                  .arg(io.settingsSearchPaths.join(QStringLiteral("、"))));
    }
    return {*values[0], *values[1], *values[2], *values[3], *values[4], *values[5], *values[6], *values[7]};
}

int run(const Options &options, const Io &io)
{
    try {
        if (options.help) {
            io.out(helpText(io.settingsSearchPaths).toUtf8());
            return 0;
        }
        if (options.version) {
            io.out(versionText().toUtf8());
            return 0;
        }
        const ServerFields fields = resolveFields(options.connection, io);
        Options resolved = options;
        resolved.compare = resolveCompareMode(options, io);
        DatabaseObjects objects;
        if (io.progress) {
            if (const auto settingsFile = settingsFileOf(options.connection, io))
                io.err(line(QStringLiteral("设置文件：%1").arg(*settingsFile)));
            io.err(line(QStringLiteral("连接 %1 和 %2 …").arg(fields.EIP, fields.Edit2)));
        }
        connect(objects.ADOConnection1, sampleServerParameters(fields), QStringLiteral("样本服务器"));
        connect(objects.ADOConnection2, targetServerParameters(fields), QStringLiteral("目的服务器"));
        connect(objects.ADOConnection3, targetDatabaseParameters(fields), QStringLiteral("目的服务器"));
        switch (options.command) {
        case Command::List: return listCommand(objects, fields, resolved, io);
        case Command::Script: return scriptCommand(objects, fields, resolved, io);
        case Command::Sync: return syncCommand(objects, fields, resolved, io);
        }
        return 2;
    } catch (const UsageError &e) {
        io.err(line(QStringLiteral("dbsync-cli: ") + QString::fromUtf8(e.what())));
        io.err(line(QStringLiteral("用 dbsync-cli --help 查看用法")));
        return 2;
    } catch (const std::exception &e) {
        io.err(line(QStringLiteral("dbsync-cli: ") + QString::fromUtf8(e.what())));
        return 2;
    } catch (...) {
        io.err(line(QStringLiteral("dbsync-cli: Unknown error")));
        return 2;
    }
}

}  // namespace dbsync::cli
