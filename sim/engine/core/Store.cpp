#include "sim/engine/core/Store.h"

#include "sim/engine/core/Lexer.h"
#include "sim/engine/functions/SqlFunctions.h"

#include <sqlite3.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstring>
#include <ctime>

namespace sqlsim {

namespace {

// The server's default collation: case-insensitive (also for Latin, Greek and Cyrillic letters
// beyond ASCII), accent-sensitive, trailing blanks ignored. ASCII compares byte by byte.
int compareCi(void *, int la, const void *a, int lb, const void *b)
{
    auto *pa = static_cast<const unsigned char *>(a);
    auto *pb = static_cast<const unsigned char *>(b);
    while (la > 0 && pa[la - 1] == ' ') --la;
    while (lb > 0 && pb[lb - 1] == ' ') --lb;
    int i = 0, j = 0;
    while (i < la && j < lb) {
        const unsigned char ba = pa[i], bb = pb[j];
        if ((ba | bb) < 0x80) {
            const int ca = (ba >= 'A' && ba <= 'Z') ? ba + 32 : ba;
            const int cb = (bb >= 'A' && bb <= 'Z') ? bb + 32 : bb;
            if (ca != cb)
                return ca < cb ? -1 : 1;
            ++i;
            ++j;
            continue;
        }
        const char32_t ca = foldCase(ba < 0x80 ? pa[i++] : nextCodePoint(pa, la, i));
        const char32_t cb = foldCase(bb < 0x80 ? pb[j++] : nextCodePoint(pb, lb, j));
        if (ca != cb)
            return ca < cb ? -1 : 1;
    }
    return (i < la) - (j < lb);
}

void check(sqlite3 *db, int rc, std::string_view what)
{
    if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW)
        throw StoreError(std::string(what) + ": " + sqlite3_errmsg(db));
}

}  // namespace

StoreStmt::StoreStmt(sqlite3 *db, std::string_view sql) : db_(db)
{
    check(db, sqlite3_prepare_v2(db, sql.data(), static_cast<int>(sql.size()), &stmt_, nullptr), "prepare");
}

StoreStmt::StoreStmt(sqlite3 *db, sqlite3_stmt *borrowed) : db_(db), stmt_(borrowed), owned_(false) {}

StoreStmt::~StoreStmt()
{
    if (owned_) {
        sqlite3_finalize(stmt_);
    } else {
        sqlite3_reset(stmt_);
        sqlite3_clear_bindings(stmt_);
    }
}

StoreStmt &StoreStmt::bind(int index, const Param &value)
{
    int rc = SQLITE_OK;
    if (std::holds_alternative<std::monostate>(value))
        rc = sqlite3_bind_null(stmt_, index);
    else if (auto *i = std::get_if<std::int64_t>(&value))
        rc = sqlite3_bind_int64(stmt_, index, *i);
    else if (auto *d = std::get_if<double>(&value))
        rc = sqlite3_bind_double(stmt_, index, *d);
    else if (auto *b = std::get_if<BinaryValue>(&value))
        rc = sqlite3_bind_blob(stmt_, index, b->bytes.data(), static_cast<int>(b->bytes.size()), SQLITE_TRANSIENT);
    else {
        const auto &s = std::get<std::string>(value);
        rc = sqlite3_bind_text(stmt_, index, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
    }
    check(db_, rc, "bind");
    return *this;
}

bool StoreStmt::step()
{
    const int rc = sqlite3_step(stmt_);
    check(db_, rc, "step");
    return rc == SQLITE_ROW;
}

void StoreStmt::reset()
{
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
}

std::int64_t StoreStmt::intAt(int col) const { return sqlite3_column_int64(stmt_, col); }

std::string StoreStmt::textAt(int col) const
{
    const auto *p = sqlite3_column_text(stmt_, col);
    return p ? std::string(reinterpret_cast<const char *>(p), static_cast<std::size_t>(sqlite3_column_bytes(stmt_, col)))
             : std::string();
}

bool StoreStmt::nullAt(int col) const { return sqlite3_column_type(stmt_, col) == SQLITE_NULL; }

StoreConn::StoreConn(const std::string &path)
{
    const int rc = sqlite3_open_v2(path.c_str(), &db_,
                                   SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        std::string msg = db_ ? sqlite3_errmsg(db_) : "out of memory";
        sqlite3_close(db_);
        throw StoreError("cannot open the catalogue store " + path + ": " + msg);
    }
    sqlite3_busy_timeout(db_, 30000);
    // "x" must stay an identifier: a misspelt column is an error, not a string.
    sqlite3_db_config(db_, SQLITE_DBCONFIG_DQS_DML, 0, nullptr);
    sqlite3_db_config(db_, SQLITE_DBCONFIG_DQS_DDL, 0, nullptr);
    check(db_, sqlite3_create_collation(db_, "SSCI", SQLITE_UTF8, nullptr, compareCi), "collation");
    registerSqlFunctions(db_);
    // Pages read through a map rather than one pread each.
    exec("PRAGMA journal_mode=WAL; PRAGMA synchronous=OFF; PRAGMA mmap_size=1073741824;");
}

StoreConn::~StoreConn()
{
    for (auto &[text, stmt] : prepared_)
        sqlite3_finalize(stmt);
    sqlite3_close(db_);
}

sqlite3_stmt *StoreConn::prepared(std::string_view sql)
{
    if (auto found = prepared_.find(sql); found != prepared_.end())
        return found->second;
    sqlite3_stmt *stmt = nullptr;
    check(db_, sqlite3_prepare_v2(db_, sql.data(), static_cast<int>(sql.size()), &stmt, nullptr), "prepare");
    prepared_.emplace(std::string(sql), stmt);
    return stmt;
}

void StoreConn::exec(std::string_view sql)
{
    char *err = nullptr;
    const std::string text(sql);
    if (sqlite3_exec(db_, text.c_str(), nullptr, nullptr, &err) != SQLITE_OK) {
        std::string msg = err ? err : sqlite3_errmsg(db_);
        sqlite3_free(err);
        throw StoreError(msg);
    }
}

void StoreConn::run(std::string_view sql, const std::vector<Param> &params)
{
    StoreStmt st(db_, prepared(sql));
    for (std::size_t i = 0; i < params.size(); ++i)
        st.bind(static_cast<int>(i + 1), params[i]);
    while (st.step()) {
    }
}

std::int64_t StoreConn::scalarInt(std::string_view sql, const std::vector<Param> &params)
{
    StoreStmt st(db_, prepared(sql));
    for (std::size_t i = 0; i < params.size(); ++i)
        st.bind(static_cast<int>(i + 1), params[i]);
    return st.step() ? st.intAt(0) : 0;
}

std::int64_t StoreConn::changes() const
{
    return sqlite3_changes64(db_);
}

StoreTxn::StoreTxn(StoreConn &conn) : conn_(conn), nested_(sqlite3_get_autocommit(conn.raw()) == 0)
{
    // Inside a user transaction a statement's work is a savepoint of it.
    if (nested_) {
        conn_.exec("SAVEPOINT sqlsim_work");
        return;
    }
    try {
        conn_.exec("BEGIN IMMEDIATE");
    } catch (const StoreError &) {
        if (sqlite3_errcode(conn.raw()) == SQLITE_BUSY)  // another session's transaction holds the store
            throw SqlError(1222, "Lock request time out period exceeded.", 16);
        throw;
    }
}

StoreTxn::~StoreTxn()
{
    if (!done_) {
        try {
            conn_.exec(nested_ ? "ROLLBACK TO sqlsim_work; RELEASE sqlsim_work" : "ROLLBACK");
        } catch (const StoreError &) {
            // Nothing more to undo: SQLite already rolled back.
        }
    }
}

void StoreTxn::commit()
{
    conn_.exec(nested_ ? "RELEASE sqlsim_work" : "COMMIT");
    done_ = true;
}

ColumnType parseDeclType(std::string_view decl)
{
    std::string d = lower(decl);
    ColumnType t;
    auto size = [&](int dflt) {
        auto open = d.find('(');
        if (open == std::string::npos)
            return dflt;
        auto inner = d.substr(open + 1);
        if (inner.rfind("max", 0) == 0)
            return -1;
        return std::atoi(inner.c_str());
    };
    auto starts = [&](const char *p) { return d.rfind(p, 0) == 0; };
    if (starts("nvarchar")) { t.id = TypeId::NVarChar; t.length = size(1); }
    else if (starts("varchar")) { t.id = TypeId::VarChar; t.length = size(1); }
    else if (starts("nchar")) { t.id = TypeId::NChar; t.length = size(1); }
    else if (starts("char")) { t.id = TypeId::Char; t.length = size(1); }
    else if (starts("varbinary") || starts("binary") || starts("image")) { t.id = TypeId::VarBinary; t.length = starts("image") ? -1 : size(1); }
    else if (starts("sql_variant")) t.id = TypeId::SqlVariant;
    else if (starts("bigint")) t.id = TypeId::BigInt;
    else if (starts("smallint")) t.id = TypeId::SmallInt;
    else if (starts("tinyint")) t.id = TypeId::TinyInt;
    else if (starts("int")) t.id = TypeId::Int;
    else if (starts("bit")) t.id = TypeId::Bit;
    else if (starts("datetime")) t.id = TypeId::DateTime;
    else if (starts("smalldatetime")) t.id = TypeId::SmallDateTime;
    else if (starts("date")) t.id = TypeId::Date;
    else if (starts("money") || starts("smallmoney")) t.id = TypeId::Money;
    else if (starts("decimal") || starts("numeric")) {
        t.id = starts("decimal") ? TypeId::Decimal : TypeId::Numeric;
        t.precision = 18;
        if (auto open = d.find('('); open != std::string::npos) {
            t.precision = std::atoi(d.c_str() + open + 1);
            if (auto comma = d.find(',', open); comma != std::string::npos)
                t.scale = std::atoi(d.c_str() + comma + 1);
        }
    }
    else if (starts("float")) t.id = TypeId::Float;
    else if (starts("real")) t.id = TypeId::Real;
    else if (starts("ntext")) t.id = TypeId::NText;
    else if (starts("text")) t.id = TypeId::Text;
    else if (starts("uniqueidentifier")) t.id = TypeId::UniqueIdentifier;
    else { t.id = TypeId::NVarChar; t.length = 4000; }
    return t;
}

DateTimeValue parseDateTime(std::string_view text)
{
    int y = 1900, mo = 1, d = 1, h = 0, mi = 0;
    double s = 0;
    std::sscanf(std::string(text).c_str(), "%d-%d-%d %d:%d:%lf", &y, &mo, &d, &h, &mi, &s);
    // Days from civil (Howard Hinnant's algorithm), relative to 1900-01-01.
    auto days = [](int yy, int mm, int dd) {
        yy -= mm <= 2;
        const int era = (yy >= 0 ? yy : yy - 399) / 400;
        const int yoe = yy - era * 400;
        const int doy = (153 * (mm + (mm > 2 ? -3 : 9)) + 2) / 5 + dd - 1;
        const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
        return era * 146097 + doe - 719468;
    };
    DateTimeValue v;
    v.days = days(y, mo, d) - days(1900, 1, 1);
    v.ticks300 = static_cast<std::uint32_t>(((h * 60 + mi) * 60) * 300 + static_cast<std::uint32_t>(s * 300 + 0.5));
    return v;
}

std::string nowText()
{
    const auto now = std::chrono::system_clock::now();
    const std::time_t t = std::chrono::system_clock::to_time_t(now);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    std::tm tm{};
    localtime_r(&t, &tm);
    char buf[96];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d.%03d", tm.tm_year + 1900, tm.tm_mon + 1,
                  tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, static_cast<int>(ms));
    return buf;
}

namespace {

bool isAscii(const std::string &s)
{
    return std::all_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// UTF-16 units, as nvarchar lengths count: a character beyond the BMP takes two. A column
// declared shorter than its longest value is cut to the declared length by clients.
std::size_t utf16Length(const std::string &s)
{
    return static_cast<std::size_t>(std::count_if(s.begin(), s.end(), [](char c) {
               return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
           })) +
           static_cast<std::size_t>(
               std::count_if(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) >= 0xF0; }));
}

// Types an expression column from what it holds, as SQL Server would type most literals.
ColumnType inferType(const std::vector<Row> &rows, std::size_t col)
{
    bool anyText = false, anyReal = false, anyBig = false, anyBlob = false, ascii = true;
    std::size_t maxLen = 1;
    for (const Row &r : rows) {
        const Value &v = r[col];
        if (auto *i = std::get_if<std::int64_t>(&v)) {
            if (*i > INT32_MAX || *i < INT32_MIN) anyBig = true;
        } else if (std::holds_alternative<double>(v)) {
            anyReal = true;
        } else if (auto *s = std::get_if<std::string>(&v)) {
            anyText = true;
            ascii = ascii && isAscii(*s);
            maxLen = std::max(maxLen, utf16Length(*s));
        } else if (auto *b = std::get_if<BinaryValue>(&v)) {
            anyBlob = true;
            maxLen = std::max(maxLen, b->bytes.size());
        }
    }
    ColumnType t;
    if (anyText) {
        t.id = ascii ? TypeId::VarChar : TypeId::NVarChar;
        t.length = maxLen > (ascii ? 8000u : 4000u) ? -1 : static_cast<int>(maxLen);
    } else if (anyBlob) {
        t.id = TypeId::VarBinary;
        t.length = maxLen > 8000 ? -1 : static_cast<int>(maxLen);
    } else if (anyReal) {
        t.id = TypeId::Float;
    } else if (anyBig) {
        t.id = TypeId::BigInt;
    } else {
        t.id = TypeId::Int;
    }
    return t;
}

std::string valueText(const Value &v)
{
    if (auto *i = std::get_if<std::int64_t>(&v)) return std::to_string(*i);
    if (auto *d = std::get_if<double>(&v)) {
        char buf[64];
        std::snprintf(buf, sizeof buf, "%.15g", *d);
        return buf;
    }
    if (auto *s = std::get_if<std::string>(&v)) return *s;
    return {};
}

}  // namespace

QueryResult runQuery(StoreConn &conn, const std::string &sql, const BatchSink *sink,
                     const std::map<std::string, std::string> &typeHints)
{
    StoreStmt st(conn.raw(), sql);
    sqlite3_stmt *s = st.raw();
    const int n = sqlite3_column_count(s);
    QueryResult out;
    std::vector<bool> declared(static_cast<std::size_t>(n), false);
    for (int c = 0; c < n; ++c) {
        Column col;
        const char *name = sqlite3_column_name(s, c);
        col.name = name ? name : "";
        const char *decl = sqlite3_column_decltype(s, c);
        auto hint = typeHints.find(lower(col.name));
        if ((!decl || !*decl) && hint != typeHints.end())
            decl = hint->second.c_str();
        if (decl && *decl) {
            col.type = parseDeclType(decl);
            declared[static_cast<std::size_t>(c)] = true;
        }
        out.columns.push_back(col);
    }
    std::size_t steps = 0;
    while (st.step()) {
        if (sink && (++steps % 256) == 0 && sink->cancelled())
            throw Cancelled{};
        Row row;
        row.reserve(static_cast<std::size_t>(n));
        for (int c = 0; c < n; ++c) {
            const ColumnType &t = out.columns[static_cast<std::size_t>(c)].type;
            const bool decl = declared[static_cast<std::size_t>(c)];
            switch (sqlite3_column_type(s, c)) {
            case SQLITE_NULL: row.emplace_back(std::monostate{}); break;
            case SQLITE_INTEGER: row.emplace_back(static_cast<std::int64_t>(sqlite3_column_int64(s, c))); break;
            case SQLITE_FLOAT: row.emplace_back(sqlite3_column_double(s, c)); break;
            case SQLITE_BLOB: {
                const auto *p = static_cast<const std::uint8_t *>(sqlite3_column_blob(s, c));
                const int len = sqlite3_column_bytes(s, c);
                row.emplace_back(BinaryValue{std::vector<std::uint8_t>(p, p + len)});
                break;
            }
            default: {
                std::string text = st.textAt(c);
                if (decl && t.id == TypeId::DateTime)
                    row.emplace_back(parseDateTime(text));
                else
                    row.emplace_back(std::move(text));
            }
            }
        }
        out.rows.push_back(std::move(row));
    }
    // Make every value fit the column's type.
    for (int c = 0; c < n; ++c) {
        const auto ci = static_cast<std::size_t>(c);
        if (!declared[ci])
            out.columns[ci].type = inferType(out.rows, ci);
        const TypeId id = out.columns[ci].type.id;
        const bool textual = id == TypeId::VarChar || id == TypeId::NVarChar || id == TypeId::Char ||
                             id == TypeId::NChar || id == TypeId::Text || id == TypeId::NText;
        const bool integral = id == TypeId::Int || id == TypeId::SmallInt || id == TypeId::TinyInt ||
                              id == TypeId::BigInt || id == TypeId::Bit;
        const bool decimal = declared[ci] && (id == TypeId::Decimal || id == TypeId::Numeric || id == TypeId::Money);
        const int scale = id == TypeId::Money ? 4 : out.columns[ci].type.scale;
        for (Row &r : out.rows) {
            Value &v = r[ci];
            if (decimal && (std::holds_alternative<std::int64_t>(v) || std::holds_alternative<double>(v))) {
                // The store keeps decimals as numbers; the client gets them at the column's scale.
                if (const auto *whole = std::get_if<std::int64_t>(&v)) {
                    v = DecimalValue{std::to_string(*whole) + (scale > 0 ? "." + std::string(std::size_t(scale), '0') : "")};
                } else {
                    char buf[400];
                    std::snprintf(buf, sizeof buf, "%.*f", scale, std::get<double>(v));
                    v = DecimalValue{buf};
                }
            } else if (textual && (std::holds_alternative<std::int64_t>(v) || std::holds_alternative<double>(v)))
                v = valueText(v);
            else if (integral && std::holds_alternative<std::string>(v))
                v = static_cast<std::int64_t>(std::atoll(std::get<std::string>(v).c_str()));
            else if (integral && std::holds_alternative<double>(v))
                v = static_cast<std::int64_t>(std::get<double>(v));
        }
    }
    return out;
}

}  // namespace sqlsim
