#include "sim/engine/core/Internal.h"
#include "sim/engine/rows/Rows.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>

namespace sqlsim {

namespace {

const char *const systemDatabases[] = {"master", "tempdb", "model", "msdb"};

std::vector<ConfigOption> defaultOptions()
{
    const std::int64_t big = 2147483647;
    return {
        {"Ad Hoc Distributed Queries", 0, 1, 0, 0, true},
        {"allow updates", 0, 1, 0, 0, false},
        {"backup compression default", 0, 1, 0, 0, false},
        {"clr enabled", 0, 1, 0, 0, false},
        {"cost threshold for parallelism", 0, 32767, 5, 5, true},
        {"Database Mail XPs", 0, 1, 0, 0, true},
        {"default language", 0, 9999, 0, 0, false},
        {"max degree of parallelism", 0, 32767, 0, 0, true},
        {"max server memory (MB)", 128, big, big, big, true},
        {"min server memory (MB)", 0, big, 0, 0, true},
        {"nested triggers", 0, 1, 1, 1, false},
        {"Ole Automation Procedures", 0, 1, 0, 0, true},
        {"remote access", 0, 1, 1, 1, false},
        {"remote admin connections", 0, 1, 0, 0, false},
        {"remote login timeout (s)", 0, big, 10, 10, false},
        {"remote query timeout (s)", 0, big, 600, 600, false},
        {"show advanced options", 0, 1, 0, 0, false},
        {"user connections", 0, 32767, 0, 0, true},
        {"xp_cmdshell", 0, 1, 0, 0, true},
    };
}

std::string makeTempDir()
{
    const char *base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/sqlsim-XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    if (!mkdtemp(buf.data()))
        throw std::runtime_error("cannot create a folder for the catalogue store under " + pattern);
    return buf.data();
}

Message msg(int number, int severity, int state, std::string text)
{
    Message m;
    m.number = number;
    m.severity = severity;
    m.state = state;
    m.text = std::move(text);
    return m;
}

}  // namespace

std::unique_ptr<Engine> Engine::create()
{
    return std::make_unique<EngineImpl>();
}

std::optional<Database> Instance::findDatabase(std::string_view name) const
{
    std::lock_guard lock(mu);
    for (const Database &d : databases)
        if (iequals(d.name, name))
            return d;
    return std::nullopt;
}

std::vector<Database> Instance::databaseList() const
{
    std::lock_guard lock(mu);
    return databases;
}

bool Instance::adHocQueriesEnabled() const
{
    std::lock_guard lock(mu);
    for (const ConfigOption &o : options)
        if (o.name == "Ad Hoc Distributed Queries")
            return o.run != 0;
    return false;
}

bool Instance::advancedOptionsShown() const
{
    std::lock_guard lock(mu);
    for (const ConfigOption &o : options)
        if (o.name == "show advanced options")
            return o.run != 0;
    return false;
}

const LoginSpec *Instance::findLogin(std::string_view user) const
{
    for (const LoginSpec &l : logins)
        if (iequals(l.user, user))
            return &l;
    return nullptr;
}

Database addDatabase(Instance &inst, StoreConn &conn, const std::string &name)
{
    Database db;
    db.name = name;
    db.dbid = inst.nextDbid++;
    db.dbk = inst.engine->newDatabaseKey();
    const std::string now = nowText();
    conn.run("INSERT INTO ss_databases(inst, name, dbid, sid, mode, status, status2, crdate, reserved, "
             "category, cmptlevel, filename, version, dbk) VALUES(?, ?, ?, X'01', 0, ?, 1090519040, ?, "
             "'1900-01-01 00:00:00.000', 0, 150, ?, 904, ?)",
             {inst.key, name, std::int64_t{db.dbid}, std::int64_t{db.dbid <= 4 ? 65544 : 65536}, now,
              "C:\\Program Files\\Microsoft SQL Server\\MSSQL\\DATA\\" + name + ".mdf", db.dbk});
    inst.databases.push_back(db);
    return db;
}

void removeDatabase(Instance &inst, StoreConn &conn, const Database &db)
{
    conn.run("DELETE FROM ss_databases WHERE inst = ? AND dbid = ?", {inst.key, std::int64_t{db.dbid}});
    dropDatabaseRows(conn, db);
    for (const char *table : {"cat_sysobjects", "cat_syscolumns", "cat_syscomments", "cat_sysindexes",
                              "cat_sysindexkeys", "cat_sysforeignkeys", "cat_extended_properties",
                              "cat_sql_modules", "cat_indexes", "cat_index_columns"})
        conn.run(std::string("DELETE FROM ") + table + " WHERE dbk = ?", {db.dbk});
    std::erase_if(inst.databases, [&](const Database &d) { return d.dbid == db.dbid; });
}

EngineImpl::EngineImpl()
{
    dir_ = makeTempDir();
    storePath_ = dir_ + "/catalogue.db";
    admin_ = std::make_unique<StoreConn>(storePath_);
    createStoreSchema(*admin_);
    seedSystemTypes(*admin_);
}

EngineImpl::~EngineImpl()
{
    admin_.reset();
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);  // a leftover temp folder is harmless
}

void EngineImpl::addInstance(const InstanceConfig &config)
{
    auto inst = std::make_shared<Instance>();
    inst->engine = this;
    inst->key = nextInstanceKey_++;
    inst->config = config;
    inst->logins = config.logins;
    if (inst->logins.empty())
        inst->logins.push_back(LoginSpec{"sa", "sqlsim", true});
    inst->options = defaultOptions();
    {
        std::lock_guard lock(mu_);
        if (instances_.count(lower(config.name)))
            throw std::runtime_error("instance " + config.name + " is defined twice");
    }
    {
        std::lock_guard adminLock(adminMu_);
        std::lock_guard instLock(inst->mu);
        StoreTxn txn(*admin_);
        int dbid = 1;
        for (const char *name : systemDatabases) {
            inst->nextDbid = dbid++;
            addDatabase(*inst, *admin_, name);
        }
        inst->nextDbid = 5;
        for (const std::string &name : config.databases) {
            if (std::any_of(inst->databases.begin(), inst->databases.end(),
                            [&](const Database &d) { return iequals(d.name, name); }))
                continue;
            addDatabase(*inst, *admin_, name);
        }
        txn.commit();
    }
    std::lock_guard lock(mu_);
    instances_[lower(config.name)] = std::move(inst);
}

void EngineImpl::setInstancePort(const std::string &instance, std::uint16_t port)
{
    auto inst = findInstance(instance);
    if (!inst)
        throw std::runtime_error("no instance named " + instance);
    std::lock_guard lock(inst->mu);
    inst->config.port = port;
}

std::shared_ptr<Instance> EngineImpl::findInstance(std::string_view name) const
{
    std::lock_guard lock(mu_);
    auto it = instances_.find(lower(name));
    return it == instances_.end() ? nullptr : it->second;
}

std::shared_ptr<Instance> EngineImpl::resolveDataSource(std::string_view dataSource) const
{
    auto trim = [](std::string_view s) {
        while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
        while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
        return s;
    };
    std::string_view ds = trim(dataSource);
    if (ds.rfind("tcp:", 0) == 0)
        ds.remove_prefix(4);
    std::lock_guard lock(mu_);
    const auto comma = ds.find(',');
    if (comma != std::string_view::npos) {
        const std::string_view host = trim(ds.substr(0, comma));
        const std::string port(trim(ds.substr(comma + 1)));
        for (const auto &[key, inst] : instances_) {
            std::lock_guard il(inst->mu);
            if (std::to_string(inst->config.port) == port &&
                (iequals(host, inst->config.host) || iequals(host, "localhost") || host == "127.0.0.1" ||
                 host == "." || iequals(host, "(local)")))
                return inst;
        }
        return nullptr;
    }
    const auto slash = ds.find('\\');
    const std::string_view name = slash == std::string_view::npos ? ds : ds.substr(slash + 1);
    auto it = instances_.find(lower(name));
    if (it != instances_.end())
        return it->second;
    // A bare host means the default port.
    for (const auto &[key, inst] : instances_) {
        std::lock_guard il(inst->mu);
        if (inst->config.port == 1433 && (iequals(ds, inst->config.host) || iequals(ds, "localhost") ||
                                          ds == "127.0.0.1" || ds == "." || iequals(ds, "(local)")))
            return inst;
    }
    return nullptr;
}

LoginOutcome EngineImpl::login(const std::string &instance, const LoginRequest &request)
{
    LoginOutcome out;
    auto inst = findInstance(instance);
    const LoginSpec *login = inst ? inst->findLogin(request.user) : nullptr;
    const std::string failed = "Login failed for user '" + request.user + "'.";
    if (!login || login->password != request.password) {
        out.messages.push_back(msg(18456, 14, 1, failed));
        return out;
    }
    const std::string wanted = request.database.empty() ? "master" : request.database;
    auto db = inst->findDatabase(wanted);
    if (!db) {
        out.messages.push_back(msg(4060, 11, 1, "Cannot open database \"" + wanted +
                                                    "\" requested by the login. The login failed."));
        out.messages.push_back(msg(18456, 14, 1, failed));
        return out;
    }
    out.session = std::make_unique<SessionImpl>(inst, *login, db->name, inst->nextSpid++);
    out.messages.push_back(msg(5701, 0, 2, "Changed database context to '" + db->name + "'."));
    out.messages.push_back(msg(5703, 0, 1, "Changed language setting to us_english."));
    return out;
}

namespace {

// Keeps the first error of a script batch.
class ScriptSink : public BatchSink {
public:
    void resultSet(const std::vector<Column> &, const std::vector<Row> &) override {}
    void message(const Message &m) override
    {
        if (m.isError() && !error)
            error = m;
    }
    void databaseChanged(const std::string &, const std::string &) override {}
    void statementDone(std::optional<std::int64_t>, bool) override {}
    bool cancelled() const override { return false; }
    std::optional<Message> error;
};

}  // namespace

void EngineImpl::runScript(const std::string &instance, std::string_view script)
{
    auto inst = findInstance(instance);
    if (!inst)
        throw std::runtime_error("no instance named " + instance);
    const LoginSpec *admin = nullptr;
    for (const LoginSpec &l : inst->logins)
        if (l.sysadmin) {
            admin = &l;
            break;
        }
    if (!admin)
        throw std::runtime_error("instance " + instance + " has no sysadmin login to run the script");
    SessionImpl session(inst, *admin, "master", inst->nextSpid++);
    int number = 0;
    for (const std::string &batch : splitScript(script)) {
        ++number;
        ScriptSink sink;
        session.executeBatch(batch, sink);
        if (sink.error) {
            const Message &m = *sink.error;
            throw std::runtime_error("batch " + std::to_string(number) + ": Msg " + std::to_string(m.number) +
                                     ", Level " + std::to_string(m.severity) + ", State " + std::to_string(m.state) +
                                     ", Line " + std::to_string(m.line) + ": " + m.text);
        }
    }
}

}  // namespace sqlsim
