#include "db/ConnectionString.h"

#include "db/DbError.h"

#include <QFileInfo>

namespace dbsync {

namespace {

const QString kMalformed = QStringLiteral(
    "Format of the initialization string does not conform to the OLE DB specification.");

bool isBlankOrControl(QChar c) { return c.unicode() <= 32; }

QString lookup(const QList<std::pair<QString, QString>> &pairs, const QString &key)
{
    QString value;  // a repeated keyword: the last one counts
    for (const auto &[k, v] : pairs)
        if (k.compare(key, Qt::CaseInsensitive) == 0)
            value = v;
    return value;
}

bool has(const QList<std::pair<QString, QString>> &pairs, const QString &key)
{
    for (const auto &pair : pairs)
        if (pair.first.compare(key, Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

}  // namespace

QString trimBlanksAndControls(const QString &text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isBlankOrControl(text[begin]))
        ++begin;
    while (end > begin && isBlankOrControl(text[end - 1]))
        --end;
    return text.mid(begin, end - begin);
}

QString buildConnectionString(const QString &password, const QString &login,
                              const std::optional<QString> &initialCatalog, const QString &address)
{
    QString s = QStringLiteral("Provider=SQLOLEDB.1;Persist Security Info=True;;Password=") + password
        + QStringLiteral(";User ID=") + login;
    if (initialCatalog)
        s += QStringLiteral(";Initial Catalog=") + *initialCatalog;
    return s + QStringLiteral(";Data Source=") + address;
}

QString buildConnectionString(const ConnectionParameters &p)
{
    return buildConnectionString(p.password, p.login, p.initialCatalog, p.address);
}

QList<std::pair<QString, QString>> parseOleDbConnectionString(const QString &connectionString)
{
    QList<std::pair<QString, QString>> pairs;
    const QString &s = connectionString;
    qsizetype i = 0;
    const qsizetype n = s.size();
    while (i < n) {
        // Keyword, up to a single "=" ("==" stands for a literal "=").
        QString key;
        while (i < n && s[i] != QLatin1Char(';')) {
            if (s[i] == QLatin1Char('=')) {
                if (i + 1 < n && s[i + 1] == QLatin1Char('=')) {
                    key += QLatin1Char('=');
                    i += 2;
                    continue;
                }
                break;
            }
            key += s[i++];
        }
        key = key.trimmed();
        if (i >= n || s[i] == QLatin1Char(';')) {
            if (!key.isEmpty())
                throw DbError(kMalformed);
            ++i;  // an empty element
            continue;
        }
        ++i;  // the "="
        if (key.isEmpty())
            throw DbError(kMalformed);
        while (i < n && s[i].isSpace())
            ++i;
        QString value;
        if (i < n && (s[i] == QLatin1Char('\'') || s[i] == QLatin1Char('"'))) {
            const QChar quote = s[i++];
            bool closed = false;
            while (i < n) {
                if (s[i] == quote) {
                    if (i + 1 < n && s[i + 1] == quote) {
                        value += quote;
                        i += 2;
                        continue;
                    }
                    ++i;
                    closed = true;
                    break;
                }
                value += s[i++];
            }
            while (i < n && s[i].isSpace())
                ++i;
            if (!closed || (i < n && s[i] != QLatin1Char(';')))
                throw DbError(kMalformed);
        } else {
            while (i < n && s[i] != QLatin1Char(';'))
                value += s[i++];
            value = value.trimmed();
        }
        ++i;  // the ";" or the end
        pairs.append({key, value});
    }
    return pairs;
}

std::optional<OdbcDriverChoice> chooseOdbcDriver(const QList<OdbcDriverInfo> &registered,
                                                 const std::function<bool(const QString &)> &fileExists)
{
    for (const QString &microsoft : {QStringLiteral("ODBC Driver 18 for SQL Server"),
                                    QStringLiteral("ODBC Driver 17 for SQL Server")})
        for (const auto &driver : registered)
            if (driver.name == microsoft)
                return OdbcDriverChoice{OdbcDriverChoice::Kind::Microsoft, driver.name};
    for (const auto &driver : registered)
        if (driver.name.compare(QLatin1String("FreeTDS"), Qt::CaseInsensitive) == 0)
            return OdbcDriverChoice{OdbcDriverChoice::Kind::FreeTds, driver.name};
    for (const auto &driver : registered)
        if (QFileInfo(driver.libraryPath).fileName().startsWith(QLatin1String("libtdsodbc")))
            return OdbcDriverChoice{OdbcDriverChoice::Kind::FreeTds, driver.name};
    // Debian and Ubuntu's tdsodbc per architecture, Fedora's freetds (only the versioned name
    // without freetds-devel), then builds of one's own.
    for (const QString &path : {QStringLiteral("/usr/lib/x86_64-linux-gnu/odbc/libtdsodbc.so"),
                               QStringLiteral("/usr/lib/aarch64-linux-gnu/odbc/libtdsodbc.so"),
                               QStringLiteral("/usr/lib/arm-linux-gnueabihf/odbc/libtdsodbc.so"),
                               QStringLiteral("/usr/lib/i386-linux-gnu/odbc/libtdsodbc.so"),
                               QStringLiteral("/usr/lib/powerpc64le-linux-gnu/odbc/libtdsodbc.so"),
                               QStringLiteral("/usr/lib/riscv64-linux-gnu/odbc/libtdsodbc.so"),
                               QStringLiteral("/usr/lib/s390x-linux-gnu/odbc/libtdsodbc.so"),
                               QStringLiteral("/usr/lib/odbc/libtdsodbc.so"),
                               QStringLiteral("/usr/lib64/libtdsodbc.so.0"),
                               QStringLiteral("/usr/lib64/libtdsodbc.so"),
                               QStringLiteral("/usr/local/lib/libtdsodbc.so"),
                               QStringLiteral("/usr/lib/libtdsodbc.so")})
        if (fileExists(path))
            return OdbcDriverChoice{OdbcDriverChoice::Kind::FreeTds, path};
    return std::nullopt;
}

QString oleDbValue(const QString &value)
{
    const QString inner = value.trimmed();
    const bool needsQuotes = value.contains(QLatin1Char(';'))
        || inner.startsWith(QLatin1Char('\'')) || inner.startsWith(QLatin1Char('"'));
    if (!needsQuotes)
        return value;
    QString escaped = value;
    escaped.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + escaped + QLatin1Char('"');
}

QString odbcValue(const QString &value, OdbcDriverChoice::Kind kind)
{
    const bool microsoft = kind == OdbcDriverChoice::Kind::Microsoft;
    const bool needsBraces = value.contains(QLatin1Char(';')) || value.startsWith(QLatin1Char('{'))
        || (microsoft && value.contains(QLatin1Char('}')))
        || (!value.isEmpty() && (value.front().isSpace() || value.back().isSpace()));
    if (!needsBraces)
        return value;
    if (microsoft) {
        QString escaped = value;
        escaped.replace(QLatin1Char('}'), QLatin1String("}}"));
        return QLatin1Char('{') + escaped + QLatin1Char('}');
    }
    if (value.contains(QLatin1String("};")))
        throw DbError(QStringLiteral("The FreeTDS driver cannot take a connection value that holds \"};\"."));
    return QLatin1Char('{') + value + QLatin1Char('}');
}

ConnectionParameters parametersFromConnectionString(const QString &oleDbConnectionString)
{
    const auto pairs = parseOleDbConnectionString(oleDbConnectionString);
    static const QStringList known = {QStringLiteral("Provider"), QStringLiteral("Persist Security Info"),
                                      QStringLiteral("Password"), QStringLiteral("User ID"),
                                      QStringLiteral("Initial Catalog"), QStringLiteral("Data Source")};
    for (const auto &pair : pairs)
        if (!known.contains(pair.first, Qt::CaseInsensitive))
            throw DbError(QStringLiteral("Invalid connection string attribute"));
    ConnectionParameters p;
    p.password = lookup(pairs, QStringLiteral("Password"));
    p.login = lookup(pairs, QStringLiteral("User ID"));
    if (has(pairs, QStringLiteral("Initial Catalog")))
        p.initialCatalog = lookup(pairs, QStringLiteral("Initial Catalog"));
    p.address = lookup(pairs, QStringLiteral("Data Source"));
    return p;
}

QString toOdbcConnectionString(const QString &oleDbConnectionString, const OdbcDriverChoice &driver)
{
    return toOdbcConnectionString(parametersFromConnectionString(oleDbConnectionString), driver);
}

ServerAddress parseServerAddress(const QString &address)
{
    QString dataSource = address.trimmed();
    if (dataSource.startsWith(QLatin1String("tcp:"), Qt::CaseInsensitive))
        dataSource = dataSource.mid(4);
    ServerAddress parsed;
    parsed.host = dataSource;
    if (const qsizetype comma = dataSource.lastIndexOf(QLatin1Char(',')); comma >= 0) {
        parsed.host = dataSource.left(comma).trimmed();
        parsed.port = dataSource.mid(comma + 1).trimmed();
    }
    if (const qsizetype backslash = parsed.host.indexOf(QLatin1Char('\\')); backslash >= 0) {
        parsed.instance = parsed.host.mid(backslash + 1).trimmed();
        parsed.host = parsed.host.left(backslash).trimmed();
    }
    if (parsed.host == QLatin1String(".") || parsed.host.compare(QLatin1String("(local)"), Qt::CaseInsensitive) == 0)
        parsed.host = QStringLiteral("127.0.0.1");
    return parsed;
}

QString toOdbcConnectionString(const ConnectionParameters &parameters, const OdbcDriverChoice &driver)
{
    const ServerAddress address = parseServerAddress(parameters.address);
    // A port given wins over the instance, as with SQL Server's own clients.
    const bool viaBrowser = address.port.isEmpty() && !address.instance.isEmpty();
    const QString port = address.port.isEmpty() && !viaBrowser ? QString::number(kDefaultSqlServerPort) : address.port;

    QString driverName = driver.driver;
    driverName.replace(QLatin1Char('}'), QLatin1String("}}"));
    QString s = QStringLiteral("DRIVER={") + driverName + QLatin1Char('}');
    const auto odbcValue = [&driver](const QString &value) { return dbsync::odbcValue(value, driver.kind); };
    if (driver.kind == OdbcDriverChoice::Kind::Microsoft) {
        QString server = address.host;
        if (!address.instance.isEmpty())
            server += QLatin1Char('\\') + address.instance;
        if (!port.isEmpty())
            server += QLatin1Char(',') + port;
        s += QStringLiteral(";Server=") + odbcValue(server);
    } else if (viaBrowser) {
        // FreeTDS asks the SQL Server Browser (UDP 1434) for the instance's port.
        s += QStringLiteral(";Server=") + odbcValue(address.host + QLatin1Char('\\') + address.instance);
    } else {
        // Without a port FreeTDS takes the one of its configuration, which Debian's leaves unset:
        // it would not even try to connect.
        s += QStringLiteral(";Server=") + odbcValue(address.host) + QStringLiteral(";Port=") + odbcValue(port);
    }
    s += QStringLiteral(";UID=") + odbcValue(parameters.login);
    s += QStringLiteral(";PWD=") + odbcValue(parameters.password);
    if (parameters.initialCatalog)
        s += QStringLiteral(";Database=") + odbcValue(*parameters.initialCatalog);
    // FreeTDS reads a braced value up to "};", so a braced value is never the last one.
    if (driver.kind == OdbcDriverChoice::Kind::Microsoft)
        s += QStringLiteral(";Encrypt=no;TrustServerCertificate=yes");  // as SQLOLEDB: no TLS demanded
    else
        s += QStringLiteral(";TDS_Version=7.4;ClientCharset=UTF-8");
    return s;
}

}  // namespace dbsync
