#include "sim/server/Cli.h"

#include "sim/server/Browser.h"
#include "sim/server/EventLog.h"
#include "sim/server/Server.h"

#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <pthread.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif
#include <sstream>

namespace sqlsim::server {

const char *const kUsage =
    "usage: sqlsim --server NAME=127.0.0.1:PORT ... [--login NAME:USER:PASSWORD[:nosysadmin]]...\n"
    "              [--database NAME:DBNAME]... [--init NAME:FILE.sql]... [--backup-dir NAME:DIR]...\n"
    "              [--no-oledb-provider NAME]... [--browser 127.0.0.1:PORT] [--log FILE] [--ready-file FILE]\n"
    "              [--exit-with-parent]\n";

namespace {

// Splits "NAME:REST" at the first colon.
std::pair<std::string, std::string> splitName(const std::string &option, const std::string &value)
{
    const auto colon = value.find(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 == value.size())
        throw UsageError(option + " expects NAME:VALUE, got '" + value + "'");
    return {value.substr(0, colon), value.substr(colon + 1)};
}

InstanceConfig &instanceNamed(Options &o, const std::string &option, const std::string &name)
{
    for (auto &i : o.instances)
        if (i.name == name)
            return i;
    throw UsageError(option + " names server '" + name + "', which no --server defines");
}

// "127.0.0.1:PORT" or "localhost:PORT"; what names the option in messages.
std::uint16_t parseLoopbackPort(const std::string &what, const std::string &address)
{
    const auto colon = address.rfind(':');
    const std::string host = colon == std::string::npos ? address : address.substr(0, colon);
    if (colon == std::string::npos || (host != "127.0.0.1" && host != "localhost"))
        throw UsageError(what + ": sqlsim listens on 127.0.0.1 only, not '" + host + "'");
    const std::string port = address.substr(colon + 1);
    unsigned n = 0;
    const auto [end, ec] = std::from_chars(port.data(), port.data() + port.size(), n);
    if (port.empty() || ec != std::errc() || end != port.data() + port.size() || n > 65535)
        throw UsageError(what + ": bad port '" + port + "'");
    return static_cast<std::uint16_t>(n);
}

InstanceConfig parseServer(const std::string &value)
{
    const auto eq = value.find('=');
    if (eq == std::string::npos || eq == 0 || value.find(':', eq) == std::string::npos)
        throw UsageError("--server expects NAME=127.0.0.1:PORT, got '" + value + "'");
    InstanceConfig c;
    c.name = value.substr(0, eq);
    c.port = parseLoopbackPort("--server " + c.name, value.substr(eq + 1));
    return c;
}

}  // namespace

Options parseOptions(const std::vector<std::string> &args)
{
    Options o;
    std::vector<std::pair<std::string, std::string>> later;  // options that name a server
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string &opt = args[i];
        if (opt == "--help" || opt == "-h")
            throw UsageError("");
        if (opt == "--exit-with-parent") {
            o.exitWithParent = true;
            continue;
        }
        if (i + 1 >= args.size())
            throw UsageError(opt.rfind("--", 0) == 0 ? opt + " needs a value" : "unknown argument '" + opt + "'");
        const std::string &value = args[++i];
        if (opt == "--server") {
            InstanceConfig c = parseServer(value);
            for (const auto &other : o.instances)
                if (other.name == c.name)
                    throw UsageError("--server " + c.name + " given twice");
            o.instances.push_back(std::move(c));
        } else if (opt == "--login" || opt == "--database" || opt == "--init" || opt == "--backup-dir" ||
                   opt == "--no-oledb-provider") {
            later.emplace_back(opt, value);
        } else if (opt == "--log") {
            o.logFile = value;
        } else if (opt == "--ready-file") {
            o.readyFile = value;
        } else if (opt == "--browser") {
            o.browserPort = parseLoopbackPort("--browser", value);
        } else {
            throw UsageError("unknown option '" + opt + "'");
        }
    }
    if (o.instances.empty())
        throw UsageError("at least one --server is needed");
    for (const auto &[opt, value] : later) {
        const auto [name, rest] =
            opt == "--no-oledb-provider" ? std::pair{value, std::string()} : splitName(opt, value);
        InstanceConfig &inst = instanceNamed(o, opt, name);
        if (opt == "--login") {
            LoginSpec login;
            std::string body = rest;
            const std::string flag = ":nosysadmin";
            if (body.size() > flag.size() && body.compare(body.size() - flag.size(), flag.size(), flag) == 0) {
                login.sysadmin = false;
                body.resize(body.size() - flag.size());
            }
            const auto colon = body.find(':');
            if (colon == std::string::npos || colon == 0)
                throw UsageError("--login expects NAME:USER:PASSWORD[:nosysadmin], got '" + value + "'");
            login.user = body.substr(0, colon);
            login.password = body.substr(colon + 1);
            inst.logins.push_back(std::move(login));
        } else if (opt == "--database") {
            inst.databases.push_back(rest);
        } else if (opt == "--init") {
            o.inits.emplace_back(name, rest);
        } else if (opt == "--no-oledb-provider") {
            inst.oledbProviders = false;
        } else {
            inst.backupDir = rest;
        }
    }
    return o;
}

namespace {

std::string readFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path + ": " + std::strerror(errno));
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Written to a temporary name and renamed, so a reader never sees half of it.
void writeReadyFile(const std::string &path, const std::vector<InstanceConfig> &instances)
{
    const std::string temp = path + ".tmp";
    {
        std::ofstream out(temp, std::ios::trunc);
        for (const auto &i : instances)
            out << i.name << " 127.0.0.1 " << i.port << "\n";
        out.close();
        if (!out)
            throw std::runtime_error("cannot write " + temp);
    }
    if (std::rename(temp.c_str(), path.c_str()) != 0)
        throw std::runtime_error("cannot rename " + temp + " to " + path + ": " + std::strerror(errno));
}

}  // namespace

int runSqlsim(int argc, char **argv, Engine &engine)
{
    Options options;
    try {
        options = parseOptions(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const UsageError &e) {
        if (*e.what())
            std::cerr << "sqlsim: " << e.what() << "\n";
        std::cerr << kUsage;
        return *e.what() ? 2 : 0;
    }

    // Signals are taken by sigwait below; every thread started from here inherits the mask.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    if (options.exitWithParent) {
#ifdef __linux__
        // A crashed test must not leave its simulator holding ports and ctest's pipes.
        const pid_t parent = getppid();
        if (prctl(PR_SET_PDEATHSIG, SIGTERM) != 0 || getppid() != parent)
            return 1;
#else
        std::cerr << "sqlsim: --exit-with-parent is only supported on Linux\n";
        return 2;
#endif
    }

    try {
        std::unique_ptr<EventLog> log = options.logFile.empty() ? std::make_unique<EventLog>()
                                                                : std::make_unique<EventLog>(options.logFile);
        Server server(engine, *log);
        Browser browser(*log);
        std::vector<BrowserInstance> named;
        for (auto &inst : options.instances) {
            inst.port = server.listen(inst.name, inst.port);
            engine.addInstance(inst);
            engine.setInstancePort(inst.name, inst.port);
            named.push_back({inst.name, inst.port});
        }
        if (options.browserPort)
            browser.listen(*options.browserPort);
        for (const auto &[name, file] : options.inits) {
            try {
                engine.runScript(name, readFile(file));
            } catch (const std::exception &e) {
                throw std::runtime_error("--init " + name + ":" + file + ": " + e.what());
            }
        }
        server.start();
        browser.start(std::move(named));
        if (!options.readyFile.empty())
            writeReadyFile(options.readyFile, options.instances);
        int sig = 0;
        sigwait(&signals, &sig);
        browser.stop();
        server.stop();
    } catch (const std::exception &e) {
        std::cerr << "sqlsim: " << e.what() << "\n";
        return 1;
    }
    return 0;
}

}  // namespace sqlsim::server
