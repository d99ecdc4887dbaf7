// BACKUP DATABASE db TO DISK = 'c:\name': a backup set appended to a file in the instance's
// backup folder, which stands for the server's C: drive.
#include "sim/engine/catalog/Catalog.h"
#include "sim/engine/rows/Rows.h"
#include "sim/engine/query/Translate.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

namespace sqlsim {

namespace {

SqlError terminating()
{
    return SqlError(3013, "BACKUP DATABASE is terminating abnormally.", 16);
}

// The host path for a device path, or nothing when it leaves the backup folder or names
// another drive.
std::optional<std::string> hostPath(const std::string &backupDir, const std::string &device)
{
    if (backupDir.empty() || device.size() < 3 || (device[0] != 'c' && device[0] != 'C') || device[1] != ':' ||
        (device[2] != '\\' && device[2] != '/'))
        return std::nullopt;
    std::string rest = device.substr(3);
    std::string out = backupDir;
    std::stringstream parts(rest);
    std::string part;
    bool any = false;
    while (std::getline(parts, part, '\\')) {
        std::stringstream sub(part);
        std::string piece;
        while (std::getline(sub, piece, '/')) {
            if (piece.empty() || piece == ".")
                continue;
            if (piece == "..")
                return std::nullopt;  // never outside the folder that stands for C:
            out += "/" + piece;
            any = true;
        }
    }
    if (!any)
        return std::nullopt;
    return out;
}

int countSets(const std::string &path)
{
    std::ifstream in(path);
    int n = 0;
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("SQLSIM BACKUP SET", 0) == 0)
            ++n;
    return n;
}

}  // namespace

namespace {

// Each user table's rows, one line a row, values as T-SQL literals separated by tabs.
int writeRows(std::ostream &out, StoreConn &store, const Database &db)
{
    std::vector<std::pair<std::int64_t, std::string>> tables;
    {
        StoreStmt st(store.raw(), "SELECT id, name FROM cat_sysobjects WHERE dbk = ? AND xtype = 'U' ORDER BY id");
        st.bind(1, db.dbk);
        while (st.step()) tables.emplace_back(st.intAt(0), st.textAt(1));
    }
    int pages = 0;
    for (const auto &[id, name] : tables) {
        const std::vector<ColumnInfo> columns = tableColumns(store, db, id);
        std::string select;
        for (const ColumnInfo &c : columns) select += (select.empty() ? "" : ", ") + quoteIdent(c.name);
        out << "rows " << name << " (" << select << ")\n";
        if (!hasRowTable(store, db, id)) {
            out << "end of rows 0\n";
            continue;
        }
        StoreStmt st(store.raw(), "SELECT " + select + " FROM " + rowTable(db, id) + " ORDER BY \"$r\"");
        int rows = 0;
        while (st.step()) {
            for (int c = 0; c < static_cast<int>(columns.size()); ++c) {
                const Param v = paramAt(st, c);
                out << (c ? "\t" : "");
                if (std::holds_alternative<std::monostate>(v)) out << "NULL";
                else if (auto *s = std::get_if<std::string>(&v)) out << "N'" << quoteString(*s) << "'";
                else if (auto *b = std::get_if<BinaryValue>(&v)) {
                    out << "0x";
                    for (std::uint8_t byte : b->bytes) out << "0123456789ABCDEF"[byte >> 4] << "0123456789ABCDEF"[byte & 15];
                } else out << keyText(v);
            }
            out << "\n";
            ++rows;
        }
        out << "end of rows " << rows << "\n";
        pages += 1 + rows / 50;
    }
    return pages;
}

}  // namespace

void execBackup(Exec &x)
{
    const auto &t = x.stmt.tokens;
    if (!t[1].kw("database"))
        notSupported("BACKUP " + t[1].text);
    std::size_t i = 2;
    const std::string name = readName(t, i);
    if (!t[i].kw("to") || !t[i + 1].kw("disk") || !t[i + 2].op("=") ||
        !(t[i + 3].is(Tok::String) || t[i + 3].is(Tok::NString)))
        syntaxError(t[i]);
    const std::string device = t[i + 3].text;
    i += 4;
    bool init = false;
    if (t[i].kw("with")) {
        ++i;
        while (!t[i].is(Tok::End)) {
            if (t[i].kw("init") || t[i].kw("format")) init = true;
            else if (t[i].kw("noinit") || t[i].kw("noformat")) init = false;
            ++i;
            if (t[i].op("=")) i += 2;
            if (t[i].is(Tok::Comma)) ++i;
        }
    }
    if (!t[i].is(Tok::End))
        syntaxError(t[i]);
    auto db = x.session.instance().findDatabase(name);
    if (!db)
        failPair(x, SqlError(911, "Database '" + name + "' does not exist. Make sure that the name is entered correctly.", 16),
                 terminating());
    if (!x.session.login().sysadmin)
        failPair(x, SqlError(262, "BACKUP DATABASE permission denied in database '" + db->name + "'.", 14), terminating());
    if (iequals(db->name, "tempdb"))
        failPair(x, SqlError(3147, "Backup and restore operations are not allowed on database tempdb.", 16), terminating());
    std::string backupDir;
    {
        std::lock_guard lock(x.session.instance().mu);
        backupDir = x.session.instance().config.backupDir;
    }
    const auto path = hostPath(backupDir, device);
    auto cannotOpen = [&](int os, const char *why) {
        failPair(x, SqlError(3201, "Cannot open backup device '" + device + "'. Operating system error " +
                                       std::to_string(os) + "(" + why + ").", 16),
                 terminating());
    };
    if (!path)
        cannotOpen(3, "The system cannot find the path specified.");
    const int fileNumber = init ? 1 : countSets(*path) + 1;
    std::ofstream out(*path, init ? std::ios::trunc : std::ios::app);
    if (!out) {
        if (errno == ENOENT || errno == ENOTDIR)
            cannotOpen(3, "The system cannot find the path specified.");
        cannotOpen(5, "Access is denied.");
    }
    // The set holds what the catalogue knows of the database: its objects and definitions.
    out << "SQLSIM BACKUP SET " << fileNumber << "\nDatabase: " << db->name << "\nDate: " << nowText() << "\n";
    StoreStmt st(x.session.store().raw(), "SELECT trim(o.xtype), o.name, m.definition FROM cat_sysobjects o LEFT JOIN "
                                          "cat_sql_modules m ON m.dbk = o.dbk AND m.object_id = o.id WHERE o.dbk = ? "
                                          "ORDER BY o.id");
    st.bind(1, db->dbk);
    int objects = 0;
    while (st.step()) {
        out << "object " << st.textAt(0) << " " << st.textAt(1) << "\n";
        if (!st.nullAt(2))
            out << st.textAt(2) << "\nend of definition\n";
        ++objects;
    }
    objects += writeRows(out, x.session.store(), *db);
    out << "END OF SET\n";
    out.flush();
    if (!out)
        cannotOpen(112, "There is not enough space on the disk.");
    const int pages = 160 + 8 * objects;
    x.info(4035, "Processed " + std::to_string(pages) + " pages for database '" + db->name + "', file '" + db->name +
                     "' on file " + std::to_string(fileNumber) + ".");
    x.info(4035, "Processed 2 pages for database '" + db->name + "', file '" + db->name + "_log' on file " +
                     std::to_string(fileNumber) + ".");
    x.info(3014, "BACKUP DATABASE successfully processed " + std::to_string(pages + 2) +
                     " pages in 0.050 seconds (25.000 MB/sec).");
    x.done();
}

}  // namespace sqlsim
