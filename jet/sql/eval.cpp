// Expression evaluation and value rules of the SQL executor (see eval.h).
#include "eval.h"

#include <cfenv>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "jet/sql/error.h"
#include "jet/schema.h"
#include "jet/sql/parser.h"

namespace jet::sql::detail {
namespace {

using jet::sameName;

[[noreturn]] void mismatch(const char* where = "criteria expression") {
    throw ExecutionError(std::string("Data type mismatch in ") + where +
                         ": the two sides cannot be compared or combined (for example text with a number); "
                         "write the literal in the column's type.");
}

bool isAscii(std::string_view s) {
    for (char c : s)
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
}

int compareText(std::string_view a, std::string_view b) {
    if (!isAscii(a) || !isAscii(b)) {
        std::u32string fa = foldText(a), fb = foldText(b);
        return fa < fb ? -1 : (fa == fb ? 0 : 1);
    }
    std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
        if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x + 32);
        if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y + 32);
        if (x != y) return x < y ? -1 : 1;
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}

// Exact comparison of two decimals with different scales, or nullopt when bringing them
// to one scale could overflow 128 bits.
std::optional<int> compareDecimals(Decimal a, Decimal b) {
    while (a.scale < b.scale) {
        if (a.unscaled > std::numeric_limits<Int128>::max() / 10 ||
            a.unscaled < std::numeric_limits<Int128>::min() / 10)
            return std::nullopt;
        a.unscaled *= 10;
        ++a.scale;
    }
    while (b.scale < a.scale) {
        if (b.unscaled > std::numeric_limits<Int128>::max() / 10 ||
            b.unscaled < std::numeric_limits<Int128>::min() / 10)
            return std::nullopt;
        b.unscaled *= 10;
        ++b.scale;
    }
    return a.unscaled < b.unscaled ? -1 : (a.unscaled == b.unscaled ? 0 : 1);
}

Decimal toDecimal(const Value& v) {
    if (v.isDecimal()) return v.asDecimal();
    if (v.isBool()) return Decimal{v.asBool() ? -1 : 0, 0};
    return Decimal{v.asInt(), 0};
}

bool isExact(const Value& v) { return v.isInt() || v.isDecimal() || v.isBool(); }

int sign(double d) { return d < 0 ? -1 : (d > 0 ? 1 : 0); }

// Rounds a decimal to `scale` places, halves to even, as Jet's conversions do.
Decimal rescale(Decimal d, int scale) {
    while (d.scale < scale) {
        d.unscaled *= 10;
        ++d.scale;
    }
    if (d.scale > scale) {
        int drop = d.scale - scale;
        if (drop > 38) return Decimal{0, scale};
        Int128 divisor = 1;
        for (int k = 0; k < drop; ++k) divisor *= 10;
        Int128 q = d.unscaled / divisor;
        Int128 r = d.unscaled % divisor;
        Int128 twice = (r < 0 ? -r : r) * 2;
        if (twice > divisor || (twice == divisor && q % 2 != 0)) q += d.unscaled < 0 ? -1 : 1;
        d = Decimal{q, scale};
    }
    return d;
}

std::optional<Value> numberFromText(const std::string& text) {
    std::string t = text;
    while (!t.empty() && t.front() == ' ') t.erase(t.begin());
    while (!t.empty() && t.back() == ' ') t.pop_back();
    if (t.empty()) return std::nullopt;
    Decimal d;
    if (parseDecimal(t, d)) {
        if (d.scale == 0 && d.unscaled >= std::numeric_limits<std::int64_t>::min() &&
            d.unscaled <= std::numeric_limits<std::int64_t>::max())
            return Value(static_cast<std::int64_t>(d.unscaled));
        return Value(d);
    }
    if (auto v = textToDouble(t)) return Value(*v);
    return std::nullopt;
}

Value arithmetic(BinaryOp op, const Value& a, const Value& b) {
    if (op == BinaryOp::Concat) {
        if (a.isNull() && b.isNull()) return Value();
        return Value(valueToText(a) + valueToText(b));
    }
    if (a.isNull() || b.isNull()) return Value();
    if (op == BinaryOp::Add && a.isText() && b.isText()) return Value(a.asText() + b.asText());
    if (a.isDateTime() || b.isDateTime()) {
        if ((op == BinaryOp::Add || op == BinaryOp::Subtract) && a.isDateTime() && b.isNumeric())
            return Value(DateTime{op == BinaryOp::Add ? a.asDateTime().days + b.toDouble()
                                                      : a.asDateTime().days - b.toDouble()});
        if (op == BinaryOp::Add && b.isDateTime() && a.isNumeric())
            return Value(DateTime{b.asDateTime().days + a.toDouble()});
        if (op == BinaryOp::Subtract && a.isDateTime() && b.isDateTime())
            return Value(a.asDateTime().linear() - b.asDateTime().linear());
        mismatch("expression");
    }
    if (!a.isNumeric() || !b.isNumeric()) mismatch("expression");
    if (op == BinaryOp::Divide || op == BinaryOp::IntDivide) {
        if (op == BinaryOp::IntDivide) {
            double x = std::nearbyint(a.toDouble()), y = std::nearbyint(b.toDouble());
            if (y == 0) throw ExecutionError("Division by zero.");
            const double q = std::trunc(x / y);
            // 1e300 \ 1 has no 64-bit integer to give.
            if (!(q >= -9223372036854775808.0 && q < 9223372036854775808.0))
                throw ExecutionError("Overflow: the integer division " + valueToText(a) + " \\ " + valueToText(b) +
                                     " is beyond the range of a whole number.");
            return Value(static_cast<std::int64_t>(q));
        }
        if (b.toDouble() == 0) throw ExecutionError("Division by zero.");
        return Value(a.toDouble() / b.toDouble());
    }
    if (a.isInt() && b.isInt()) {
        std::int64_t x = a.asInt(), y = b.asInt(), r = 0;
        bool overflow = op == BinaryOp::Add        ? __builtin_add_overflow(x, y, &r)
                        : op == BinaryOp::Subtract ? __builtin_sub_overflow(x, y, &r)
                                                   : __builtin_mul_overflow(x, y, &r);
        if (!overflow) return Value(r);
    } else if (isExact(a) && isExact(b)) {
        Decimal x = toDecimal(a), y = toDecimal(b);
        if (op == BinaryOp::Multiply) {
            Decimal r{0, x.scale + y.scale};
            if (!__builtin_mul_overflow(x.unscaled, y.unscaled, &r.unscaled) && r.scale <= 28) return Value(r);
        } else {
            int scale = std::max(x.scale, y.scale);
            if (scale <= 28) {
                x = rescale(x, scale);
                y = rescale(y, scale);
                Decimal r{0, scale};
                bool overflow = op == BinaryOp::Add ? __builtin_add_overflow(x.unscaled, y.unscaled, &r.unscaled)
                                                    : __builtin_sub_overflow(x.unscaled, y.unscaled, &r.unscaled);
                if (!overflow) return Value(r);
            }
        }
    }
    double x = a.toDouble(), y = b.toDouble();
    switch (op) {
    case BinaryOp::Add: return Value(x + y);
    case BinaryOp::Subtract: return Value(x - y);
    default: return Value(x * y);
    }
}

// Three-valued truth of a value: nullopt for Null.
std::optional<bool> truth(const Value& v) {
    if (v.isNull()) return std::nullopt;
    if (v.isBool()) return v.asBool();
    if (v.isNumeric()) return v.toDouble() != 0;
    mismatch("criteria expression (a condition must be true or false)");
}

Value fromTruth(std::optional<bool> t) { return t ? Value(*t) : Value(); }

Value comparison(BinaryOp op, const Value& a, const Value& b) {
    std::optional<int> c = compareValues(a, b);
    if (!c) return Value();
    switch (op) {
    case BinaryOp::Equal: return Value(*c == 0);
    case BinaryOp::NotEqual: return Value(*c != 0);
    case BinaryOp::Less: return Value(*c < 0);
    case BinaryOp::LessEqual: return Value(*c <= 0);
    case BinaryOp::Greater: return Value(*c > 0);
    default: return Value(*c >= 0);
    }
}

// Whether the character `ch` matches the pattern element at p[pi] (anything but '*'), and
// where that element ends.
bool likeOne(char32_t ch, const std::u32string& p, std::size_t pi, std::size_t& next) {
    const char32_t c = p[pi];
    next = pi + 1;
    if (c == U'?' || c == U'_') return true;
    if (c == U'#') return ch >= U'0' && ch <= U'9';
    if (c != U'[') return ch == c;
    std::size_t close = p.find(U']', pi + 1);
    if (close == std::u32string::npos)
        throw ExecutionError("Invalid pattern string in LIKE: '[' is not closed by ']'.");
    std::size_t k = pi + 1;
    bool negate = false;
    if (k < close && p[k] == U'!') {
        negate = true;
        ++k;
    }
    bool matched = false; // "[]" matches nothing; "[!]" matches any one character
    while (k < close) {
        if (k + 2 < close && p[k + 1] == U'-') {
            if (ch >= p[k] && ch <= p[k + 2]) matched = true;
            k += 3;
        } else {
            if (ch == p[k]) matched = true;
            ++k;
        }
    }
    next = close + 1;
    return matched != negate;
}

// Every element but '*' matches exactly one character, so on a mismatch it is enough to try
// the text after the last '*' one character later: a match is found whenever there is one, in
// at most |t| * |p| steps (trying every split after every '*' took exponential time).
bool likeAt(const std::u32string& t, std::size_t ti, const std::u32string& p, std::size_t pi) {
    std::size_t starP = std::u32string::npos, starT = 0;
    while (ti < t.size() || pi < p.size()) {
        if (pi < p.size() && (p[pi] == U'*' || p[pi] == U'%')) {
            while (pi < p.size() && (p[pi] == U'*' || p[pi] == U'%')) ++pi;
            if (pi == p.size()) return true;
            starP = pi;
            starT = ti;
            continue;
        }
        std::size_t next = 0;
        if (pi < p.size() && ti < t.size() && likeOne(t[ti], p, pi, next)) {
            ++ti;
            pi = next;
            continue;
        }
        if (starP == std::u32string::npos || starT >= t.size()) return false;
        ti = ++starT;
        pi = starP;
    }
    return true;
}

const char* typeRange(ColumnType t) {
    switch (t) {
    case ColumnType::Byte: return "0 to 255";
    case ColumnType::Integer: return "-32768 to 32767";
    case ColumnType::Long: return "-2147483648 to 2147483647";
    default: return "";
    }
}

std::string describeValue(const Value& v) {
    if (v.isText()) return "'" + v.asText() + "'";
    return literalToSql(v);
}

[[noreturn]] void doesNotFit(const Value& v, const ColumnInfo& c, const std::string& table, const std::string& why) {
    throw ExecutionError("The value " + describeValue(v) + " does not fit the field '" + table + "." + c.name + "' (" +
                         std::string(columnTypeName(c.type)) + "): " + why + ".");
}

} // namespace

// A column where no row is at hand (a SELECT without FROM) is the statement's mistake.
const Row& rowFor(const Expr& e, const Row* row) {
    if (!row)
        throw ExecutionError("The field name [" + e.name + "] cannot be used here: there is no table to read it from.");
    return *row;
}

const Value& operand(const Expr& e, const Row* row, std::int64_t identity, Value& scratch) {
    if (e.kind == ExprKind::Column) return rowFor(e, row)[e.columnIndex];
    if (e.kind == ExprKind::Literal) return e.literal;
    scratch = evaluate(e, row, identity);
    return scratch;
}

std::u32string foldText(std::string_view utf8) {
    std::u32string s = jet::decodeUtf8(utf8);
    for (char32_t& c : s) c = jet::foldCase(c);
    return s;
}

std::size_t utf8Length(std::string_view utf8) {
    std::size_t n = 0;
    for (char c : utf8)
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++n;
    return n;
}

void bind(Expr& e, const Scope* scope) {
    if (e.kind == ExprKind::Column) {
        if (!scope)
            throw ExecutionError("The field name [" + e.name +
                                 "] cannot be used here: a VALUES list takes literals only.");
        if (!e.qualifier.empty() && !sameName(e.qualifier, scope->table) &&
            !(!scope->alias.empty() && sameName(e.qualifier, scope->alias)))
            throw ExecutionError("Unknown table name [" + e.qualifier + "] in [" + e.qualifier + "].[" + e.name +
                                 "]: this query reads only [" + scope->table + "].");
        const auto& cols = *scope->columns;
        for (std::size_t i = 0; i < cols.size(); ++i) {
            if (sameName(cols[i], e.name)) {
                e.columnIndex = i;
                return;
            }
        }
        throw ExecutionError("Unknown field name [" + e.name + "] in [" + scope->table +
                             "] (Jet would ask for a parameter value); check the spelling of the field.");
    }
    if (e.left) bind(*e.left, scope);
    if (e.right) bind(*e.right, scope);
    if (e.third) bind(*e.third, scope);
    for (auto& item : e.list) bind(*item, scope);
}

Value evaluate(const Expr& e, const Row* row, std::int64_t identity) {
    switch (e.kind) {
    case ExprKind::Literal: return e.literal;
    case ExprKind::Column: return rowFor(e, row)[e.columnIndex];
    case ExprKind::Identity: return Value(identity);
    case ExprKind::CountStar: throw ExecutionError("COUNT(*) can only stand alone in the SELECT list.");
    case ExprKind::Unary: {
        Value v = evaluate(*e.left, row, identity);
        if (e.unaryOp == UnaryOp::Not) {
            std::optional<bool> t = truth(v);
            return t ? Value(!*t) : Value();
        }
        if (v.isNull()) return v;
        if (v.isInt() && v.asInt() != std::numeric_limits<std::int64_t>::min()) return Value(-v.asInt());
        if (v.isDecimal()) return Value(Decimal{-v.asDecimal().unscaled, v.asDecimal().scale});
        if (v.isNumeric()) return Value(-v.toDouble());
        mismatch("expression");
    }
    case ExprKind::Binary: {
        if (e.binaryOp == BinaryOp::And) {
            std::optional<bool> l = truth(evaluate(*e.left, row, identity));
            if (l && !*l) return Value(false);
            std::optional<bool> r = truth(evaluate(*e.right, row, identity));
            if (r && !*r) return Value(false);
            if (l && r) return Value(true);
            return Value();
        }
        if (e.binaryOp == BinaryOp::Or) {
            std::optional<bool> l = truth(evaluate(*e.left, row, identity));
            if (l && *l) return Value(true);
            std::optional<bool> r = truth(evaluate(*e.right, row, identity));
            if (r && *r) return Value(true);
            if (l && r) return Value(false);
            return Value();
        }
        // Columns and literals are used where they are, without a copy (the common case
        // "column op literal" runs once per row).
        Value scratchA, scratchB;
        const Value& a = operand(*e.left, row, identity, scratchA);
        const Value& b = operand(*e.right, row, identity, scratchB);
        switch (e.binaryOp) {
        case BinaryOp::Equal:
        case BinaryOp::NotEqual:
        case BinaryOp::Less:
        case BinaryOp::LessEqual:
        case BinaryOp::Greater:
        case BinaryOp::GreaterEqual: return comparison(e.binaryOp, a, b);
        default: return arithmetic(e.binaryOp, a, b);
        }
    }
    case ExprKind::IsNull: {
        bool isNull = evaluate(*e.left, row, identity).isNull();
        return Value(e.negated ? !isNull : isNull);
    }
    case ExprKind::Like: {
        Value v = evaluate(*e.left, row, identity);
        Value p = evaluate(*e.right, row, identity);
        if (v.isNull() || p.isNull()) return Value();
        if (!p.isText()) mismatch("LIKE pattern (the pattern must be text)");
        bool m = likeMatch(valueToText(v), p.asText());
        return Value(e.negated ? !m : m);
    }
    case ExprKind::Between: {
        Value v = evaluate(*e.left, row, identity);
        std::optional<int> lo = compareValues(v, evaluate(*e.right, row, identity));
        std::optional<int> hi = compareValues(v, evaluate(*e.third, row, identity));
        std::optional<bool> a = lo ? std::optional<bool>(*lo >= 0) : std::nullopt;
        std::optional<bool> b = hi ? std::optional<bool>(*hi <= 0) : std::nullopt;
        std::optional<bool> r;
        if ((a && !*a) || (b && !*b)) {
            r = false;
        } else if (a && b) {
            r = true;
        }
        if (r && e.negated) r = !*r;
        return fromTruth(r);
    }
    case ExprKind::InList: {
        Value v = evaluate(*e.left, row, identity);
        bool sawNull = v.isNull();
        bool found = false;
        for (const auto& item : e.list) {
            std::optional<int> c = compareValues(v, evaluate(*item, row, identity));
            if (!c) {
                sawNull = true;
            } else if (*c == 0) {
                found = true;
                break;
            }
        }
        if (found) return Value(!e.negated);
        if (sawNull) return Value();
        return Value(e.negated);
    }
    }
    return Value();
}

std::optional<int> compareValues(const Value& a, const Value& b) {
    if (a.isNull() || b.isNull()) return std::nullopt;
    if (a.isInt() && b.isInt()) return a.asInt() < b.asInt() ? -1 : (a.asInt() == b.asInt() ? 0 : 1);
    if (a.isNumeric() && b.isNumeric()) {
        if (isExact(a) && isExact(b)) {
            if (std::optional<int> c = compareDecimals(toDecimal(a), toDecimal(b))) return c;
        }
        return sign(a.toDouble() - b.toDouble()) == 0 ? 0 : (a.toDouble() < b.toDouble() ? -1 : 1);
    }
    if (a.isDateTime() || b.isDateTime()) {
        if ((a.isDateTime() || a.isNumeric()) && (b.isDateTime() || b.isNumeric())) {
            double x = a.isDateTime() ? a.asDateTime().linear() : DateTime{a.toDouble()}.linear();
            double y = b.isDateTime() ? b.asDateTime().linear() : DateTime{b.toDouble()}.linear();
            return x < y ? -1 : (x == y ? 0 : 1);
        }
        mismatch();
    }
    if (a.isText() && b.isText()) return compareText(a.asText(), b.asText());
    if ((a.isGuid() || a.isText()) && (b.isGuid() || b.isText())) {
        std::string x = a.isGuid() ? a.asGuid().text : a.asText();
        std::string y = b.isGuid() ? b.asGuid().text : b.asText();
        return compareText(x, y);
    }
    if (a.isBytes() && b.isBytes()) {
        const auto& x = a.asBytes().data;
        const auto& y = b.asBytes().data;
        return x < y ? -1 : (x == y ? 0 : 1);
    }
    mismatch();
}

int orderValues(const Value& a, const Value& b) {
    if (a.isNull() || b.isNull()) return a.isNull() == b.isNull() ? 0 : (a.isNull() ? -1 : 1);
    try {
        return *compareValues(a, b);
    } catch (const ExecutionError&) {
        return a.storage().index() < b.storage().index() ? -1 : 1;
    }
}

bool likeMatch(std::string_view text, std::string_view pattern) {
    return likeAt(foldText(text), 0, foldText(pattern), 0);
}

ColumnType typeOfValue(const Value& v) {
    if (v.isBool()) return ColumnType::Boolean;
    if (v.isInt()) return ColumnType::Long;
    if (v.isDouble()) return ColumnType::Double;
    if (v.isDecimal()) return ColumnType::Decimal;
    if (v.isDateTime()) return ColumnType::DateTime;
    if (v.isBytes()) return ColumnType::Ole;
    if (v.isGuid()) return ColumnType::Guid;
    return ColumnType::Text;
}

Value coerce(const Value& v, const ColumnInfo& c, const std::string& table) {
    if (v.isNull()) {
        if (c.type == ColumnType::Boolean) return Value(false); // a Yes/No field is never Null in Jet
        if (c.required && !c.autoNumber)
            throw ExecutionError("The field '" + table + "." + c.name +
                                 "' cannot contain a Null value because the Required property for this field is set "
                                 "to True. Enter a value in this field.");
        return v;
    }
    Value n = v;
    switch (c.type) {
    case ColumnType::Boolean: {
        if (v.isBool()) return v;
        if (v.isText()) {
            std::u32string t = foldText(v.asText());
            if (t == U"true" || t == U"yes" || t == U"on") return Value(true);
            if (t == U"false" || t == U"no" || t == U"off") return Value(false);
            std::optional<Value> num = numberFromText(v.asText());
            if (!num) doesNotFit(v, c, table, "not a Yes/No value");
            n = *num;
        }
        if (!n.isNumeric()) doesNotFit(v, c, table, "not a Yes/No value");
        return Value(n.toDouble() != 0);
    }
    case ColumnType::Byte:
    case ColumnType::Integer:
    case ColumnType::Long: {
        if (v.isText()) {
            std::optional<Value> num = numberFromText(v.asText());
            if (!num) doesNotFit(v, c, table, "not a number");
            n = *num;
        }
        std::int64_t i = 0;
        if (n.isInt()) {
            i = n.asInt();
        } else if (n.isBool()) {
            i = n.asBool() ? -1 : 0;
        } else if (n.isDecimal()) {
            Decimal d = rescale(n.asDecimal(), 0);
            if (d.unscaled < std::numeric_limits<std::int32_t>::min() ||
                d.unscaled > std::numeric_limits<std::int32_t>::max())
                doesNotFit(v, c, table, std::string("out of range ") + typeRange(c.type));
            i = static_cast<std::int64_t>(d.unscaled);
        } else if (n.isDouble() || n.isDateTime()) {
            // halves to even, as Jet rounds; a date gives its day number
            double d = std::nearbyint(n.isDouble() ? n.asDouble() : n.asDateTime().days);
            if (!(d >= -2147483648.0 && d <= 2147483647.0))
                doesNotFit(v, c, table, std::string("out of range ") + typeRange(c.type));
            i = static_cast<std::int64_t>(d);
        } else {
            doesNotFit(v, c, table, "not a number");
        }
        std::int64_t lo = c.type == ColumnType::Byte ? 0 : c.type == ColumnType::Integer ? -32768 : -2147483648LL;
        std::int64_t hi = c.type == ColumnType::Byte ? 255 : c.type == ColumnType::Integer ? 32767 : 2147483647LL;
        if (i < lo || i > hi) doesNotFit(v, c, table, std::string("out of range ") + typeRange(c.type));
        return Value(i);
    }
    case ColumnType::Currency:
    case ColumnType::Decimal: {
        if (v.isText()) {
            std::optional<Value> num = numberFromText(v.asText());
            if (!num) doesNotFit(v, c, table, "not a number");
            n = *num;
        }
        int scale = c.type == ColumnType::Currency ? 4 : c.scale;
        Decimal d;
        if (isExact(n)) {
            d = rescale(toDecimal(n), scale);
        } else if (n.isDouble()) {
            if (!std::isfinite(n.asDouble())) doesNotFit(v, c, table, "not a finite number");
            char buffer[64];
            std::snprintf(buffer, sizeof buffer, "%.*f", std::min(scale + 2, 30), n.asDouble());
            if (!parseDecimal(buffer, d)) doesNotFit(v, c, table, "out of range");
            d = rescale(d, scale);
        } else {
            doesNotFit(v, c, table, "not a number");
        }
        if (c.type == ColumnType::Currency) {
            if (d.unscaled < std::numeric_limits<std::int64_t>::min() ||
                d.unscaled > std::numeric_limits<std::int64_t>::max())
                doesNotFit(v, c, table, "out of the Currency range");
        } else {
            Int128 limit = 1;
            for (int k = 0; k < (c.precision ? c.precision : 18); ++k) limit *= 10;
            if (d.unscaled >= limit || d.unscaled <= -limit)
                throw ExecutionError("The decimal field's precision is too small to accept the numeric you attempted "
                                     "to add: " +
                                     describeValue(v) + " in '" + table + "." + c.name + "' (precision " +
                                     std::to_string(c.precision) + ", scale " + std::to_string(c.scale) + ").");
        }
        return Value(d);
    }
    case ColumnType::Single:
    case ColumnType::Double: {
        if (v.isText()) {
            std::optional<Value> num = numberFromText(v.asText());
            if (!num) doesNotFit(v, c, table, "not a number");
            n = *num;
        }
        if (!n.isNumeric() && !n.isDateTime()) doesNotFit(v, c, table, "not a number");
        double d = n.toDouble();
        if (c.type == ColumnType::Single) {
            if (std::fabs(d) > std::numeric_limits<float>::max()) doesNotFit(v, c, table, "out of the Single range");
            d = static_cast<double>(static_cast<float>(d));
        }
        return Value(d);
    }
    case ColumnType::DateTime: {
        if (v.isText()) {
            DateTime d;
            if (!parseDateLiteral(v.asText(), d))
                doesNotFit(v, c, table, "not a date (write it as YYYY-MM-DD HH:MM:SS)");
            return Value(d);
        }
        if (v.isDateTime() || v.isNumeric()) {
            // Access keeps the years 100 to 9999: day -657434 (100-01-01) to 2958465 (9999-12-31).
            const double days = v.isDateTime() ? v.asDateTime().days : v.toDouble();
            if (!(days > -657435.0 && days < 2958466.0))
                doesNotFit(v, c, table, "outside the dates Access keeps (100-01-01 to 9999-12-31)");
            return Value(DateTime{days});
        }
        doesNotFit(v, c, table, "not a date");
    }
    case ColumnType::Text:
    case ColumnType::Memo: {
        std::string s = v.isText() ? v.asText() : valueToText(v);
        if (v.isBool()) s = v.asBool() ? "True" : "False";
        if (c.type == ColumnType::Text && utf8Length(s) > c.size)
            throw ExecutionError("The field is too small to accept the amount of data you attempted to add: '" + table +
                                 "." + c.name + "' holds " + std::to_string(c.size) + " characters, the value has " +
                                 std::to_string(utf8Length(s)) + ".");
        return Value(std::move(s));
    }
    case ColumnType::Binary:
    case ColumnType::Ole: {
        Bytes b;
        if (v.isBytes()) {
            b = v.asBytes();
        } else if (v.isText()) {
            b.data.assign(v.asText().begin(), v.asText().end());
        } else {
            doesNotFit(v, c, table, "not binary data");
        }
        if (c.type == ColumnType::Binary && c.size && b.data.size() > c.size)
            throw ExecutionError("The field is too small to accept the amount of data you attempted to add: '" + table +
                                 "." + c.name + "' holds " + std::to_string(c.size) + " bytes, the value has " +
                                 std::to_string(b.data.size()) + ".");
        return Value(std::move(b));
    }
    case ColumnType::Guid: {
        std::string s = v.isGuid() ? v.asGuid().text : v.isText() ? v.asText() : "";
        std::string hex;
        for (char ch : s)
            if (ch != '{' && ch != '}' && ch != '-') hex += ch;
        bool ok = hex.size() == 32 && (s.size() == 36 || (s.size() == 38 && s.front() == '{' && s.back() == '}'));
        for (char& ch : hex) {
            if (ch >= 'a' && ch <= 'f') ch = static_cast<char>(ch - 32);
            if (!((ch >= '0' && ch <= '9') || (ch >= 'A' && ch <= 'F'))) ok = false;
        }
        if (!ok) doesNotFit(v, c, table, "not a GUID like {00000000-0000-0000-0000-000000000000}");
        return Value(Guid{"{" + hex.substr(0, 8) + "-" + hex.substr(8, 4) + "-" + hex.substr(12, 4) + "-" +
                          hex.substr(16, 4) + "-" + hex.substr(20) + "}"});
    }
    }
    return v;
}

} // namespace jet::sql::detail
