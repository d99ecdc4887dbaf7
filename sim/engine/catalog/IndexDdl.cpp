// CREATE INDEX and DROP INDEX.
#include "sim/engine/catalog/Indexes.h"
#include "sim/engine/constraints/Constraints.h"

#include "sim/engine/query/Translate.h"
#include "sim/engine/rows/Unique.h"

namespace sqlsim {

namespace {

const SystemType *typeOf(const ColumnRow &c)
{
    for (const SystemType &t : systemTypes())
        if (t.xusertype == c.xusertype) return &t;
    return nullptr;
}

// A filter as SQL Server stores it, "([a]>(0) AND [b] IS NULL)", and over the row table.
// sqlsim takes comparisons of a column with a constant and IS [NOT] NULL, joined by AND.
void readFilter(const std::vector<Token> &t, std::size_t b, std::size_t e, const Catalog &cat, std::int64_t tableId,
                IndexRecord &index)
{
    const auto unsupported = [] { notSupported("An index filter other than column comparisons joined by AND"); };
    std::string shown, sql;
    std::size_t i = b;
    while (true) {
        while (i < e && t[i].is(Tok::LParen)) ++i;
        if (i >= e || !t[i].isName()) unsupported();
        const std::string name = t[i].text;
        auto column = cat.findColumn(tableId, name);
        if (!column) throw SqlError(207, "Invalid column name '" + name + "'.", 16);
        ++i;
        const std::string col = "[" + column->name + "]";
        const std::string ref = "{T}." + quoteIdent(column->name);
        if (i + 1 < e && t[i].kw("is") && t[i + 1].kw("null")) {
            shown += col + " IS NULL";
            sql += ref + " IS NULL";
            i += 2;
        } else if (i + 2 < e && t[i].kw("is") && t[i + 1].kw("not") && t[i + 2].kw("null")) {
            shown += col + " IS NOT NULL";
            sql += ref + " IS NOT NULL";
            i += 3;
        } else if (i < e && t[i].is(Tok::Op) && !t[i].op("+") && !t[i].op("-") && !t[i].op("*") && !t[i].op("/")) {
            const std::string op = t[i].op("!=") ? "<>" : t[i].text;
            ++i;
            std::string sign;
            while (i < e && t[i].is(Tok::LParen)) ++i;  // a stored filter's constants are parenthesised
            if (i < e && t[i].op("-")) { sign = "-"; ++i; }
            while (i < e && t[i].is(Tok::LParen)) ++i;
            const SystemType *type = typeOf(*column);
            const std::string tn = type ? type->name : "";
            const bool numeric = tn == "int" || tn == "bigint" || tn == "smallint" || tn == "tinyint" || tn == "bit";
            const bool character = tn == "char" || tn == "varchar" || tn == "nchar" || tn == "nvarchar";
            if (i < e && t[i].is(Tok::Number) && numeric && t[i].text.find_first_not_of("0123456789") == std::string::npos) {
                shown += col + op + "(" + sign + t[i].text + ")";
                sql += ref + " " + op + " " + sign + t[i].text;
            } else if (i < e && (t[i].is(Tok::String) || t[i].is(Tok::NString)) && sign.empty() && character) {
                shown += col + op + (t[i].is(Tok::NString) ? "N'" : "'") + quoteString(t[i].text) + "'";
                sql += ref + " " + op + " '" + quoteString(t[i].text) + "'";
            } else {
                unsupported();
            }
            ++i;
        } else {
            unsupported();
        }
        while (i < e && t[i].is(Tok::RParen)) ++i;
        if (i == e) break;
        if (!t[i].kw("and")) unsupported();
        shown += " AND ";
        sql += " AND ";
        ++i;
    }
    index.filterDefinition = "(" + shown + ")";
    index.filterSql = sql;
}

std::size_t filterEnd(const std::vector<Token> &t, std::size_t i)
{
    int depth = 0;
    for (; !t[i].is(Tok::End); ++i) {
        if (t[i].is(Tok::LParen)) ++depth;
        if (t[i].is(Tok::RParen)) --depth;
        if (depth == 0 && (t[i].kw("with") || t[i].kw("on"))) break;
    }
    return i;
}

}  // namespace

bool isCreateIndex(const std::vector<Token> &t)
{
    std::size_t i = 1;
    if (t[i].kw("unique")) ++i;
    if (t[i].kw("clustered") || t[i].kw("nonclustered")) ++i;
    if (t[i].kw("columnstore") || t[i].kw("xml") || t[i].kw("spatial") || t[i].kw("fulltext"))
        notSupported("CREATE " + t[i].text + " INDEX");
    return t[i].kw("index");
}

void execCreateIndex(Exec &x)
{
    const auto &t = x.stmt.tokens;
    std::size_t i = 1;
    IndexRecord index;
    if (t[i].kw("unique")) { index.unique = true; ++i; }
    if (t[i].kw("clustered") || t[i].kw("nonclustered")) { index.clustered = t[i].kw("clustered"); ++i; }
    ++i;  // INDEX
    index.name = readName(t, i);
    checkIdentifier(index.name);
    if (!t[i].kw("on")) syntaxError(t[i]);
    ++i;
    const ObjectName target = readObjectName(t, i);
    PrimaryKeySpec keys;
    readKeyColumns(t, i, keys);
    std::vector<std::string> included;
    if (t[i].kw("include")) {
        ++i;
        included = readNameList(t, i);
    }
    std::size_t filterBegin = 0, filterStop = 0;
    if (t[i].kw("where")) {
        filterBegin = i + 1;
        filterStop = i = filterEnd(t, i + 1);
        if (filterStop == filterBegin) syntaxError(t[i]);
    }
    readStorage(t, i, &index.options, false);
    if (!t[i].is(Tok::End)) syntaxError(t[i]);

    const Database db = resolveDdlDatabase(x, target);
    StoreConn &store = x.session.store();
    StoreTxn txn(store);
    Catalog cat(store, db);
    auto table = cat.findObject(target.name);
    if (table && table->xtype == "V") notSupported("An index on a view");
    if (!table || table->xtype != "U")
        throw SqlError(1088, "Cannot find the object \"" + target.name +
                                 "\" because it does not exist or you do not have permissions.", 16);
    const std::vector<IndexRow> existing = tableIndexes(store, db, table->id);
    for (const IndexRow &ix : existing) {
        if (iequals(ix.name, index.name))
            throw SqlError(1913, "The operation failed because an index or statistics with name '" + index.name +
                                     "' already exists on table 'dbo." + table->name + "'.", 16);
        if (ix.clustered && index.clustered)
            throw SqlError(1902, "Cannot create more than one clustered index on table 'dbo." + table->name +
                                     "'. Drop the existing clustered index '" + ix.name + "' before creating another.", 16);
    }
    std::vector<std::int64_t> seen;
    const auto column = [&](const std::string &name) {
        auto c = cat.findColumn(table->id, name);
        if (!c) throw SqlError(1911, "Column name '" + name + "' does not exist in the target table or view.", 16);
        for (std::int64_t colid : seen)
            if (colid == c->colid)
                throw SqlError(1909, "Cannot use duplicate column names in index. Column name '" + c->name +
                                         "' listed more than once.", 16);
        seen.push_back(c->colid);
        return c->colid;
    };
    for (std::size_t k = 0; k < keys.columns.size(); ++k)
        index.keys.emplace_back(column(keys.columns[k]), keys.descending[k]);
    for (const std::string &name : included) {
        if (index.clustered) notSupported("INCLUDE on a clustered index");
        index.included.push_back(column(name));
    }
    if (filterBegin) {
        if (index.clustered) notSupported("A filter on a clustered index");
        readFilter(t, filterBegin, filterStop, cat, table->id, index);
    }
    writeIndex(store, db, table->id, index);
    if (index.unique)
        if (auto dup = duplicateIndexKey(store, db, table->id, keys.columns, index.filterSql))
            throw SqlError(1505, "The CREATE UNIQUE INDEX statement terminated because a duplicate key was found for "
                                 "the object name 'dbo." + table->name + "' and the index name '" + index.name +
                                 "'. The duplicate key value is " + *dup + ".", 16)
                .statementTerminated();
    txn.commit();
    x.done();
}

// DROP INDEX t.ix | ix ON t [, ...]: each index fails or goes on its own.
void execDropIndex(Exec &x)
{
    const auto &t = x.stmt.tokens;
    std::size_t i = 2;
    bool ifExists = false;
    if (t[i].kw("if") && t[i + 1].kw("exists")) {
        ifExists = true;
        i += 2;
    }
    bool failed = false;
    while (true) {
        std::string indexName;
        ObjectName tableName;
        if (t[i + 1].kw("on")) {
            indexName = readName(t, i);
            ++i;
            tableName = readObjectName(t, i);
        } else {
            std::vector<std::string> parts{readName(t, i)};
            while (t[i].is(Tok::Dot)) {
                ++i;
                parts.push_back(t[i].is(Tok::Dot) ? std::string() : readName(t, i));
            }
            if (parts.size() < 2) syntaxError(t[i]);
            indexName = parts.back();
            tableName.name = parts[parts.size() - 2];
            if (parts.size() >= 3) tableName.schema = parts[parts.size() - 3];
            if (parts.size() >= 4) tableName.database = parts[parts.size() - 4];
        }
        if (t[i].kw("with")) notSupported("DROP INDEX ... WITH");
        const std::string shown = tableName.name + "." + indexName;
        try {
            const Database db = resolveDdlDatabase(x, tableName);
            StoreConn &store = x.session.store();
            StoreTxn txn(store);
            Catalog cat(store, db);
            auto table = cat.findObject(tableName.name);
            std::optional<IndexRow> found;
            if (table && table->xtype == "U")
                for (const IndexRow &ix : tableIndexes(store, db, table->id))
                    if (iequals(ix.name, indexName)) found = ix;
            if (!found) {
                if (!ifExists)
                    throw SqlError(3701, "Cannot drop the index '" + shown +
                                             "', because it does not exist or you do not have permission.", 11);
            } else if (found->primaryKey || found->uniqueConstraint) {
                throw SqlError(3723, "An explicit DROP INDEX is not allowed on index '" + table->name + "." +
                                         found->name + "'. It is being used for " +
                                         (found->primaryKey ? "PRIMARY KEY" : "UNIQUE KEY") +
                                         " constraint enforcement.", 16);
            } else if (keyReferencedBy(cat, table->id, found->indid)) {
                throw SqlError(3723, "An explicit DROP INDEX is not allowed on index '" + table->name + "." +
                                         found->name + "'. It is being used for FOREIGN KEY constraint enforcement.",
                               16);
            } else {
                removeIndex(store, db, table->id, found->indid);
            }
            txn.commit();
        } catch (const SqlError &e) {
            x.error(e);
            failed = true;
        }
        if (!t[i].is(Tok::Comma)) break;
        ++i;
    }
    if (!t[i].is(Tok::End)) syntaxError(t[i]);
    x.sink.statementDone(std::nullopt, failed);
}

}  // namespace sqlsim
