// sys.parameters: the parameters a procedure's or function's header declares.
#include "sim/engine/types/AliasTypes.h"
#include "sim/engine/modules/Modules.h"

namespace sqlsim {

namespace {

struct Parameter {
    std::string name;
    std::optional<ColumnShape> shape;  // unset: a type sqlsim cannot read (cursor, table types, ...)
    bool output = false;
    bool readonly = false;
};

// @name [AS] type [VARYING] [= default] [OUT|OUTPUT] [READONLY] in tokens [b, e).
Parameter readParameter(const std::vector<Token> &t, std::size_t b, std::size_t e, int number)
{
    Parameter p;
    p.name = t[b].text;
    std::size_t k = b + 1;
    if (t[k].kw("as")) ++k;
    try {
        if (!t[k].kw("cursor")) p.shape = readColumnType(t, k, number, p.name);
    } catch (const SqlError &) {
        p.shape.reset();
    }
    for (std::size_t j = b + 1; j < e; ++j) {
        p.output = p.output || t[j].kw("out") || t[j].kw("output");
        p.readonly = p.readonly || t[j].kw("readonly");
    }
    return p;
}

std::vector<Parameter> readParameters(const std::vector<Token> &t, std::size_t b, std::size_t e)
{
    std::vector<Parameter> out;
    int depth = 0;
    std::size_t start = b;
    for (std::size_t k = b; k <= e; ++k) {
        if (k < e && t[k].is(Tok::LParen)) ++depth;
        if (k < e && t[k].is(Tok::RParen)) --depth;
        if (k == e || (depth == 0 && t[k].is(Tok::Comma))) {
            if (k > start && t[start].is(Tok::Variable))
                out.push_back(readParameter(t, start, k, static_cast<int>(out.size()) + 1));
            start = k + 1;
        }
    }
    return out;
}

}  // namespace

void recordParameters(Exec &x, Catalog &cat, std::int64_t id, const std::string &xtype, std::size_t body)
{
    const auto &t = x.stmt.tokens;
    const bool function = xtype == "FN" || xtype == "IF" || xtype == "TF";
    if (!function && xtype != "P") return;
    AliasTypeScope aliasTypes(cat.store(), cat.database());
    std::size_t i = 2;
    (void)readObjectName(t, i);
    if (t[i].is(Tok::Semicolon) && t[i + 1].is(Tok::Number)) i += 2;  // a numbered procedure
    std::size_t end = body - 1;  // the header's AS
    std::vector<Parameter> params;
    if (function) {
        // name ( params ) RETURNS type ...
        int depth = 0;
        std::size_t close = i;
        for (std::size_t k = i; k < end; ++k) {
            if (t[k].is(Tok::LParen)) ++depth;
            if (t[k].is(Tok::RParen) && --depth == 0) { close = k; break; }
        }
        params = readParameters(t, i + 1, close);
        if (xtype == "FN" && t[close + 1].kw("returns")) {
            std::size_t k = close + 2;
            Parameter ret;
            try {
                ret.shape = readColumnType(t, k, 0, "");
            } catch (const SqlError &) {
            }
            ret.output = true;
            params.insert(params.begin(), ret);
        }
    } else {
        for (std::size_t k = i; k < end; ++k)
            if (t[k].kw("with") || (t[k].kw("for") && t[k + 1].kw("replication"))) { end = k; break; }
        if (t[i].is(Tok::LParen) && t[end - 1].is(Tok::RParen)) { ++i; --end; }
        params = readParameters(t, i, end);
    }
    const std::int64_t dbk = cat.database().dbk;
    std::int64_t number = xtype == "FN" ? 0 : 1;
    for (const Parameter &p : params) {
        const ColumnShape s = p.shape.value_or(ColumnShape{});
        const bool known = p.shape && s.type;
        cat.store().run("INSERT INTO cat_parameters VALUES(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
                        {dbk, id, p.name, number++, known ? Param{std::int64_t{s.type->xtype}} : Param{},
                         known ? Param{std::int64_t{s.xusertype ? s.xusertype : s.type->xusertype}} : Param{},
                         std::int64_t{s.length}, std::int64_t{s.xprec}, std::int64_t{s.xscale},
                         std::int64_t{p.output ? 1 : 0}, std::int64_t{p.readonly ? 1 : 0},
                         std::int64_t{known ? 1 : 0}});
    }
}

std::string parametersView(std::int64_t dbk)
{
    // A parameter whose type sqlsim could not read fails loudly rather than answer wrong values.
    return "(SELECT object_id, name, parameter_id, CASE WHEN known = 1 THEN system_type_id ELSE "
           "ss_fail(50000, 0, 'A parameter of type cursor, table or CLR in sys.parameters is not supported by "
           "sqlsim.') END AS system_type_id, user_type_id, max_length, precision, scale, is_output, "
           "0 AS is_cursor_ref, 0 AS has_default_value, 0 AS is_xml_document, NULL AS default_value, "
           "0 AS xml_collection_id, is_readonly, 1 AS is_nullable FROM cat_parameters WHERE dbk = " +
           std::to_string(dbk) + ")";
}

}  // namespace sqlsim
