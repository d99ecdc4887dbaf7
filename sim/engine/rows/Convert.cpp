#include "sim/engine/rows/ConvertInternal.h"

#include "sim/engine/core/Internal.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace sqlsim {

namespace conv {

Cat category(const SystemType &t)
{
    const std::string_view n = t.name;
    if (n == "int" || n == "bigint" || n == "smallint" || n == "tinyint" || n == "bit") return Cat::Integer;
    if (t.decimal) return Cat::Decimal;
    if (n == "money" || n == "smallmoney") return Cat::Money;
    if (n == "float" || n == "real") return Cat::Float;
    if (n == "char" || n == "varchar" || n == "nchar" || n == "nvarchar" || n == "text" || n == "ntext" ||
        n == "sysname")
        return Cat::Char;
    if (n == "binary" || n == "varbinary" || n == "image") return Cat::Binary;
    if (n == "datetime" || n == "smalldatetime" || n == "date") return Cat::DateTime;
    if (n == "uniqueidentifier") return Cat::Guid;
    return Cat::Other;
}

const char *sourceName(const Typed &v)
{
    switch (v.kind) {
    case Kind::Int: return "int";
    case Kind::Decimal: return "numeric";
    case Kind::Float: return "float";
    case Kind::VarChar: return "varchar";
    case Kind::NVarChar: return "nvarchar";
    case Kind::Binary: return "varbinary";
    case Kind::DateTime: return "datetime";
    case Kind::Guid: return "uniqueidentifier";
    case Kind::Null: break;
    }
    return "NULL";
}

bool isString(const Typed &v) { return v.kind == Kind::VarChar || v.kind == Kind::NVarChar; }

std::string trimBlanks(std::string_view s)
{
    std::size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t' || s[b] == '\r' || s[b] == '\n')) ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\r' || s[e - 1] == '\n')) --e;
    return std::string(s.substr(b, e - b));
}

// Code points of UTF-8 text; invalid bytes count as one character each.
std::vector<char32_t> decodeUtf8(std::string_view s)
{
    std::vector<char32_t> out;
    for (std::size_t k = 0; k < s.size();) {
        const auto c = static_cast<unsigned char>(s[k]);
        int n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 1;
        if (k + static_cast<std::size_t>(n) > s.size()) n = 1;
        char32_t cp = n == 1 ? c : c & (0x7F >> n);
        for (int j = 1; j < n; ++j) cp = (cp << 6) | (static_cast<unsigned char>(s[k + static_cast<std::size_t>(j)]) & 0x3F);
        out.push_back(cp);
        k += static_cast<std::size_t>(n);
    }
    return out;
}

std::string encodeUtf8(const std::vector<char32_t> &cps, std::size_t count)
{
    std::string out;
    for (std::size_t k = 0; k < count && k < cps.size(); ++k) {
        const char32_t c = cps[k];
        if (c < 0x80) out += static_cast<char>(c);
        else if (c < 0x800) { out += static_cast<char>(0xC0 | (c >> 6)); out += static_cast<char>(0x80 | (c & 0x3F)); }
        else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

// Characters code page 1252 has; a varchar holds only those, others become '?'.
bool inCp1252(char32_t c)
{
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return true;
    static const char32_t extra[] = {0x20AC, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030,
                                     0x0160, 0x2039, 0x0152, 0x017D, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
                                     0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x017E, 0x0178};
    for (char32_t e : extra)
        if (e == c) return true;
    return false;
}

std::string textOf(const Typed &v)
{
    switch (v.kind) {
    case Kind::Int: return std::to_string(v.i);
    case Kind::Float: return doubleText(v.f);
    case Kind::DateTime: return dateTimeDisplay(v.text);
    default: return v.text;
    }
}

Param toChar(const Typed &v, const ColumnInfo &c, const ConvertSite &site)
{
    if (v.kind == Kind::Binary)
        notSupported(std::string("Implicit conversion from varbinary to ") + c.type->name);
    std::vector<char32_t> cps = decodeUtf8(textOf(v));
    const bool unicodeTarget = c.type->unicode;
    // A varchar value (or column) holds code page 1252 only.
    if (v.kind == Kind::VarChar || !unicodeTarget)
        for (char32_t &cp : cps)
            if (!inCp1252(cp)) cp = U'?';
    const std::string_view n = c.type->name;
    const bool fixed = n == "char" || n == "nchar";
    if (c.chars >= 0 && cps.size() > static_cast<std::size_t>(c.chars)) {
        bool onlyBlanks = true;
        for (std::size_t k = static_cast<std::size_t>(c.chars); k < cps.size(); ++k)
            onlyBlanks = onlyBlanks && cps[k] == U' ';
        if (!onlyBlanks) {
            if (!isString(v))
                overflow(v.kind == Kind::Int ? "expression" : sourceName(v), std::string(n));
            throw SqlError(2628, "String or binary data would be truncated in table '" + site.table + "', column '" +
                                     c.name + "'. Truncated value: '" +
                                     encodeUtf8(cps, static_cast<std::size_t>(c.chars)) + "'.", 16);
        }
        cps.resize(static_cast<std::size_t>(c.chars));
    }
    if (fixed && c.chars > 0 && cps.size() < static_cast<std::size_t>(c.chars))
        cps.resize(static_cast<std::size_t>(c.chars), U' ');
    return encodeUtf8(cps, cps.size());
}

Param toGuid(const Typed &v)
{
    if (v.kind == Kind::Guid) return v.text;
    if (!isString(v)) notSupported(std::string("Implicit conversion from ") + sourceName(v) + " to uniqueidentifier");
    std::string s = trimBlanks(v.text);
    if (s.size() == 38 && s.front() == '{' && s.back() == '}') s = s.substr(1, 36);
    bool ok = s.size() == 36;
    for (std::size_t k = 0; ok && k < s.size(); ++k)
        ok = (k == 8 || k == 13 || k == 18 || k == 23) ? s[k] == '-' : std::isxdigit(static_cast<unsigned char>(s[k])) != 0;
    if (!ok)
        throw SqlError(8169, "Conversion failed when converting from a character string to uniqueidentifier.", 16);
    for (char &ch : s) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    return s;
}

Param toBinary(const Typed &v, const ColumnInfo &c, const ConvertSite &site)
{
    if (v.kind != Kind::Binary) {
        if (isString(v))
            throw SqlError(257, std::string("Implicit conversion from data type ") + sourceName(v) + " to " + c.type->name +
                                    " is not allowed. Use the CONVERT function to run this query.", 16);
        notSupported(std::string("Implicit conversion from ") + sourceName(v) + " to " + c.type->name);
    }
    BinaryValue b{v.bytes};
    if (c.chars >= 0 && b.bytes.size() > static_cast<std::size_t>(c.chars)) {
        static const char digits[] = "0123456789ABCDEF";
        std::string hex = "0x";
        for (std::size_t k = 0; k < static_cast<std::size_t>(c.chars); ++k) {
            hex += digits[b.bytes[k] >> 4];
            hex += digits[b.bytes[k] & 15];
        }
        throw SqlError(2628, "String or binary data would be truncated in table '" + site.table + "', column '" +
                                 c.name + "'. Truncated value: '" + hex + "'.", 16);
    }
    if (std::string_view(c.type->name) == "binary" && c.chars > 0)
        b.bytes.resize(static_cast<std::size_t>(c.chars), 0);
    return b;
}
}  // namespace conv

using namespace conv;

std::string storageDecl(const ColumnInfo &c)
{
    const std::string name = c.type->name;
    switch (category(*c.type)) {
    case Cat::Char:
        // SQLite takes only numbers in a type's parentheses: -1 stands for max.
        return name + (c.type->sized ? "(" + std::to_string(c.chars) + ")" : "") + " COLLATE SSCI";
    case Cat::Decimal:
        return name + "(" + std::to_string(c.precision) + "," + std::to_string(c.scale) + ")";
    case Cat::Binary:
        return name + (c.type->sized ? "(" + std::to_string(c.chars) + ")" : "");
    default:
        return name;
    }
}

Typed literalValue(const Token &t, bool negative)
{
    Typed v;
    if (t.is(Tok::String) || t.is(Tok::NString)) {
        v.kind = t.is(Tok::String) ? Kind::VarChar : Kind::NVarChar;
        v.text = t.text;
    } else if (t.is(Tok::Number)) {
        const std::string text = (negative ? "-" : "") + t.text;
        if (t.text.find_first_of("eE") != std::string::npos) {
            v.kind = Kind::Float;
            v.f = std::strtod(text.c_str(), nullptr);
        } else if (t.text.find('.') == std::string::npos && t.text.size() <= 18) {
            v.kind = Kind::Int;
            v.i = std::stoll(text);
        } else {
            v.kind = Kind::Decimal;
            v.text = text;
        }
    } else if (t.is(Tok::Hex)) {
        v.kind = Kind::Binary;
        const std::string hex = t.text.size() % 2 ? "0" + t.text : t.text;
        for (std::size_t k = 0; k < hex.size(); k += 2)
            v.bytes.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(k, 2), nullptr, 16)));
    }
    return v;
}

Typed storedValue(const Param &stored, const ColumnInfo &c)
{
    Typed v;
    if (std::holds_alternative<std::monostate>(stored)) return v;
    const Cat cat = category(*c.type);
    if (auto *b = std::get_if<BinaryValue>(&stored)) {
        v.kind = Kind::Binary;
        v.bytes = b->bytes;
        return v;
    }
    const auto *s = std::get_if<std::string>(&stored);
    const auto *i = std::get_if<std::int64_t>(&stored);
    const auto *d = std::get_if<double>(&stored);
    switch (cat) {
    case Cat::Integer:
        v.kind = Kind::Int;
        v.i = i ? *i : d ? static_cast<std::int64_t>(*d) : std::atoll(s->c_str());
        break;
    case Cat::Decimal:
    case Cat::Money: {
        v.kind = Kind::Decimal;
        char buf[64];
        std::snprintf(buf, sizeof buf, "%.*f", c.scale, i ? static_cast<double>(*i) : d ? *d : std::strtod(s->c_str(), nullptr));
        v.text = i ? std::to_string(*i) : buf;
        break;
    }
    case Cat::Float:
        v.kind = Kind::Float;
        v.f = d ? *d : i ? static_cast<double>(*i) : std::strtod(s->c_str(), nullptr);
        break;
    case Cat::DateTime:
        v.kind = Kind::DateTime;
        v.text = s ? *s : "";
        break;
    case Cat::Guid:
        v.kind = Kind::Guid;
        v.text = s ? *s : "";
        break;
    default:
        v.kind = c.type->unicode ? Kind::NVarChar : Kind::VarChar;
        v.text = s ? *s : i ? std::to_string(*i) : doubleText(d ? *d : 0);
    }
    return v;
}

Typed resultValue(const Value &value, const ColumnType &type)
{
    Typed v;
    if (std::holds_alternative<std::monostate>(value)) return v;
    const auto *i = std::get_if<std::int64_t>(&value);
    const auto *d = std::get_if<double>(&value);
    const auto *s = std::get_if<std::string>(&value);
    switch (type.id) {
    case TypeId::Int: case TypeId::SmallInt: case TypeId::TinyInt: case TypeId::BigInt: case TypeId::Bit:
        if (i) { v.kind = Kind::Int; v.i = *i; return v; }
        break;
    case TypeId::Decimal: case TypeId::Numeric: case TypeId::Money:
        if (auto *dec = std::get_if<DecimalValue>(&value)) { v.kind = Kind::Decimal; v.text = dec->text; return v; }
        if (i) { v.kind = Kind::Int; v.i = *i; return v; }
        if (d) { v.kind = Kind::Decimal; v.text = doubleText(*d); return v; }
        break;
    case TypeId::Float: case TypeId::Real:
        if (d || i) { v.kind = Kind::Float; v.f = d ? *d : static_cast<double>(*i); return v; }
        break;
    case TypeId::DateTime: case TypeId::SmallDateTime: case TypeId::Date:
        if (auto *dt = std::get_if<DateTimeValue>(&value)) {
            // Back to text through the calendar of the store's own parser.
            v.kind = Kind::DateTime;
            Civil c = civilFromDays(dt->days);
            const std::uint64_t ms = static_cast<std::uint64_t>(dt->ticks300) * 10 / 3;
            c.h = static_cast<int>(ms / 3600000);
            c.mi = static_cast<int>(ms / 60000 % 60);
            c.s = static_cast<int>(ms / 1000 % 60);
            c.ms = static_cast<int>(ms % 1000);
            v.text = civilText(c, "datetime");
            return v;
        }
        if (s) { v.kind = Kind::DateTime; v.text = *s; return v; }
        break;
    case TypeId::UniqueIdentifier:
        if (s) { v.kind = Kind::Guid; v.text = *s; return v; }
        break;
    case TypeId::VarBinary:
        if (auto *b = std::get_if<BinaryValue>(&value)) { v.kind = Kind::Binary; v.bytes = b->bytes; return v; }
        break;
    default:
        break;
    }
    // Text columns, sql_variant, and values whose type the result could not name.
    if (i) { v.kind = Kind::Int; v.i = *i; }
    else if (d) { v.kind = Kind::Float; v.f = *d; }
    else if (auto *dec = std::get_if<DecimalValue>(&value)) { v.kind = Kind::Decimal; v.text = dec->text; }
    else if (auto *b = std::get_if<BinaryValue>(&value)) { v.kind = Kind::Binary; v.bytes = b->bytes; }
    else if (s) {
        const bool unicode = type.id == TypeId::NVarChar || type.id == TypeId::NChar || type.id == TypeId::NText ||
                             type.id == TypeId::SqlVariant;
        v.kind = unicode ? Kind::NVarChar : Kind::VarChar;
        v.text = *s;
    }
    return v;
}

Param toColumn(const Typed &v, const ColumnInfo &c, const ConvertSite &site)
{
    if (v.isNull()) {
        if (!c.nullable)
            throw SqlError(515, "Cannot insert the value NULL into column '" + c.name + "', table '" + site.table +
                                    "'; column does not allow nulls. " + site.verb + " fails.", 16);
        return std::monostate{};
    }
    switch (category(*c.type)) {
    case Cat::Integer: return toInteger(v, *c.type);
    case Cat::Decimal: return toDecimal(v, c, false);
    case Cat::Money: {
        ColumnInfo m = c;
        m.precision = std::string_view(c.type->name) == "money" ? 19 : 10;
        m.scale = 4;
        return toDecimal(v, m, true);
    }
    case Cat::Float: return toFloat(v, *c.type);
    case Cat::Char: return toChar(v, c, site);
    case Cat::Binary: return toBinary(v, c, site);
    case Cat::DateTime: return toDateTime(v, c);
    case Cat::Guid: return toGuid(v);
    case Cat::Other: break;
    }
    notSupported(std::string("A value of type ") + c.type->name);
}

std::string keyText(const Param &stored)
{
    if (auto *i = std::get_if<std::int64_t>(&stored)) return std::to_string(*i);
    if (auto *d = std::get_if<double>(&stored)) return doubleText(*d);
    if (auto *s = std::get_if<std::string>(&stored)) return *s;
    if (std::holds_alternative<std::monostate>(stored)) return "<NULL>";
    return "0x";
}

}  // namespace sqlsim
