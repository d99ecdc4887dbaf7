#include "cli/CliOptions.h"

#include <QFileInfo>

#include <map>

namespace dbsync::cli {

namespace {

[[noreturn]] void usage(const QString &text)
{
    throw UsageError(text.toStdString());
}

}  // namespace

Options parseOptions(const QStringList &arguments)
{
    Options options;
    if (arguments.contains(QStringLiteral("--help")) || arguments.contains(QStringLiteral("-h"))) {
        options.help = true;
        return options;
    }
    if (arguments.contains(QStringLiteral("--version"))) {
        options.version = true;
        return options;
    }
    QStringList positional;
    // Each option and the commands it belongs to ("" for every command).
    struct Spec {
        bool takesValue;
        QList<Command> commands;
    };
    const QList<Command> all{Command::List, Command::Script, Command::Sync};
    const std::map<QString, Spec> specs{
        {QStringLiteral("--settings"), {true, all}},
        {QStringLiteral("--sample"), {true, all}},
        {QStringLiteral("--sample-login"), {true, all}},
        {QStringLiteral("--sample-db"), {true, all}},
        {QStringLiteral("--target"), {true, all}},
        {QStringLiteral("--target-login"), {true, all}},
        {QStringLiteral("--target-db"), {true, all}},
        {QStringLiteral("--compare"), {true, all}},
        {QStringLiteral("--format"), {true, {Command::List}}},
        {QStringLiteral("--code"), {true, {Command::Script, Command::Sync}}},
        {QStringLiteral("--object"), {true, {Command::Script, Command::Sync}}},
        {QStringLiteral("--output"), {true, {Command::Script}}},
        {QStringLiteral("--with-password"), {false, {Command::Script}}},
        {QStringLiteral("--rounds"), {true, {Command::Sync}}},
        {QStringLiteral("--no-backup"), {false, {Command::Sync}}},
        {QStringLiteral("--allow-data-loss"), {false, {Command::Sync}}},
    };
    QList<std::pair<QString, QString>> given;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &argument = arguments[i];
        if (!argument.startsWith(QLatin1String("--"))) {
            positional.append(argument);
            continue;
        }
        QString name = argument;
        std::optional<QString> value;
        if (const qsizetype eq = argument.indexOf(QLatin1Char('=')); eq > 0) {
            name = argument.left(eq);
            value = argument.mid(eq + 1);
        }
        if (name.contains(QLatin1String("password")) && name != QLatin1String("--with-password"))
            usage(QStringLiteral("密码不能写在命令行上（本机的其他用户都看得到）：请写在设置文件中，"
                                 "或放在环境变量 DBSYNC_SAMPLE_PASSWORD、DBSYNC_TARGET_PASSWORD 中"));
        const auto spec = specs.find(name);
        if (spec == specs.end())
            usage(QStringLiteral("未知选项：%1").arg(name));
        if (spec->second.takesValue && !value) {
            if (i + 1 >= arguments.size())
                usage(QStringLiteral("选项 %1 缺少值").arg(name));
            value = arguments[++i];
        }
        if (!spec->second.takesValue && value)
            usage(QStringLiteral("选项 %1 不带值").arg(name));
        given.append({name, value.value_or(QString())});
    }

    if (positional.isEmpty())
        usage(QStringLiteral("缺少命令：list、script 或 sync"));
    const QString &command = positional[0];
    if (command == QLatin1String("list"))
        options.command = Command::List;
    else if (command == QLatin1String("script"))
        options.command = Command::Script;
    else if (command == QLatin1String("sync"))
        options.command = Command::Sync;
    else
        usage(QStringLiteral("未知命令：%1（应为 list、script 或 sync）").arg(command));
    if (positional.size() < 2)
        usage(QStringLiteral("缺少要比较的对象：tables、routines、objects 或 all"));
    if (positional[1] == QLatin1String("tables"))
        options.kind = workflow::ListingKind::Tables;
    else if (positional[1] == QLatin1String("routines"))
        options.kind = workflow::ListingKind::Routines;
    else if (positional[1] == QLatin1String("objects"))
        options.kind = workflow::ListingKind::Objects;
    else if (positional[1] == QLatin1String("all"))
        options.kind = workflow::ListingKind::All;
    else
        usage(QStringLiteral("未知对象：%1（应为 tables、routines、objects 或 all）").arg(positional[1]));
    if (positional.size() > 2)
        usage(QStringLiteral("多余的参数：%1").arg(positional[2]));

    ConnectionOptions &c = options.connection;
    for (const auto &[name, value] : given) {
        if (!specs.at(name).commands.contains(options.command))
            usage(QStringLiteral("选项 %1 不能用于 %2").arg(name, command));
        if (name == QLatin1String("--settings")) c.settingsFile = value;
        else if (name == QLatin1String("--sample")) c.sample = value;
        else if (name == QLatin1String("--sample-login")) c.sampleLogin = value;
        else if (name == QLatin1String("--sample-db")) c.sampleDb = value;
        else if (name == QLatin1String("--target")) c.target = value;
        else if (name == QLatin1String("--target-login")) c.targetLogin = value;
        else if (name == QLatin1String("--target-db")) c.targetDb = value;
        else if (name == QLatin1String("--code")) options.codes.append(value);
        else if (name == QLatin1String("--object")) options.objects.append(value);
        else if (name == QLatin1String("--output")) options.output = value;
        else if (name == QLatin1String("--with-password")) options.withPassword = true;
        else if (name == QLatin1String("--no-backup")) options.noBackup = true;
        else if (name == QLatin1String("--allow-data-loss")) options.allowDataLoss = true;
        else if (name == QLatin1String("--compare")) {
            options.compare = workflow::compareModeFromName(value);
            if (!options.compare)
                usage(QStringLiteral("未知比较方式：%1（应为 server 或 local）").arg(value));
        }
        else if (name == QLatin1String("--format")) {
            if (value == QLatin1String("tsv")) options.format = workflow::ListingFormat::Tsv;
            else if (value == QLatin1String("csv")) options.format = workflow::ListingFormat::Csv;
            else if (value == QLatin1String("json")) options.format = workflow::ListingFormat::Json;
            else usage(QStringLiteral("未知格式：%1（应为 tsv、csv 或 json）").arg(value));
        } else if (name == QLatin1String("--rounds")) {
            bool ok = false;
            options.rounds = value.toInt(&ok);
            if (!ok || options.rounds < 1)
                usage(QStringLiteral("--rounds 应为正整数：%1").arg(value));
        }
    }
    return options;
}

QString versionText()
{
    return QStringLiteral("dbsync-cli %1\n").arg(workflow::toolVersion());
}

QString helpText(const QStringList &searchPaths)
{
    QString settings = QStringLiteral("设置文件：\n"
                                      "  没有 --settings 时，依次查找以下位置（与窗口相同），用第一个存在的：\n");
    bool used = false;
    for (const QString &path : searchPaths) {
        const bool here = !used && QFileInfo::exists(path);
        used = used || here;
        settings += QStringLiteral("    %1%2\n").arg(path, here ? QStringLiteral("  （使用中）") : QString());
    }
    if (!used)
        settings += QStringLiteral("  现在两处都没有设置文件。\n");
    return QStringLiteral(
        "用法：\n"
        "  dbsync-cli list   tables|routines|objects|all 连接 [--format tsv|csv|json]\n"
        "  dbsync-cli script tables|routines|objects|all 连接 [--code 代码]... [--object 名称]... [--output 文件] [--with-password]\n"
        "  dbsync-cli sync   tables|routines|objects|all 连接 [--code 代码]... [--object 名称]... [--rounds N] [--no-backup] [--allow-data-loss]\n"
        "\n"
        "比较样本数据库与目的数据库：tables 比较表的字段，routines 比较视图、存储过程、函数和触发器，\n"
        "objects 比较索引、唯一约束、检查约束、外键和自定义类型，all 比较以上全部（含表和列），\n"
        "按依赖顺序同步：新表一次建好，列的变化先删后建依赖它的对象。\n"
        "\n"
        "命令：\n"
        "  list     列出区别（与窗口相同的查询和字段），第一行是字段名。\n"
        "  script   输出同步所选行要执行的语句（每条语句后一行 GO），不执行任何语句。\n"
        "  sync     列出，执行所选行的语句（与窗口的同步相同），再列出，最多重复 --rounds 轮，\n"
        "           直到没有可同步的行。建表或删表之后本轮即结束，其余的行留到下一轮。\n"
        "\n"
        "连接：\n"
        "  --settings 文件       设置文件，默认是窗口读取的 myini.ini（查找顺序见下）\n"
        "  --sample 地址         样本服务器地址：主机（端口 1433）、主机,端口 或 主机\\实例名\n"
        "  --sample-login 用户   样本服务器用户名\n"
        "  --sample-db 数据库    样本数据库\n"
        "  --target 地址         目的服务器地址，写法同 --sample\n"
        "  --target-login 用户   目的服务器用户名\n"
        "  --target-db 数据库    目的数据库\n"
        "  --compare server|local  server：由目的服务器通过分布式查询（OPENDATASOURCE）读取样本库并比较；\n"
        "                        local：分别读取两个数据库，在本机比较，目的服务器不需要 SQLOLEDB、\n"
        "                        sp_configure 权限，也收不到样本密码。默认取设置文件的“比较方式”，否则 server\n"
        "  没有给出的值取自设置文件。密码只取自设置文件或环境变量 DBSYNC_SAMPLE_PASSWORD、\n"
        "  DBSYNC_TARGET_PASSWORD（环境变量优先），不能写在命令行上。找不到设置文件时，\n"
        "  所有值都要由选项和环境变量给出。\n"
        "\n"
        "选项：\n"
        "  --format tsv|csv|json  list 的输出格式，默认 tsv\n"
        "  --code 代码            只取比较结果（tables）或匹配情况（其余）为此值的行，可重复\n"
        "  --object 名称          只取表名（任一侧）或对象名称为此值的行，可重复\n"
        "  --output 文件          script 写入文件而不是标准输出\n"
        "  --with-password        script 中保留样本密码；默认 OPENDATASOURCE 中的密码写作 ********\n"
        "  --rounds N             sync 最多的轮数，默认 10\n"
        "  --no-backup            sync 不在第一条语句之前备份目的数据库\n"
        "  --allow-data-loss      sync 允许删除有数据的表、有值的列，或改变可能改动已有值的类型；\n"
        "                         没有此选项时，这样的同步在执行前列出受影响的行数并以状态 2 结束\n"
        "  --help                 显示本说明\n"
        "  --version              显示版本\n"
        "\n"
        "退出状态：\n"
        "  0  list 没有行；script 没有语句；sync 之后没有可同步的行\n"
        "  1  list 有行；script 有语句；sync 的各轮之后仍有可同步的行\n"
        "  2  出错：用法、连接、服务器拒绝（服务器的消息写到标准错误；这一轮的语句全部撤销），\n"
        "     同步会丢失数据而没有 --allow-data-loss（什么都不执行），或写不进输出文件、标准输出\n"
        "\n"
        "标准输出只有结果；标准错误是终端时，进度也写到那里。\n"
        "\n") + settings;
}

}  // namespace dbsync::cli
