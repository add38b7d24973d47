// Values that Jet SQL statements compute with: literals, column values read from a table,
// and the cells of a result. Plain data; conversion from and to the engine's own value
// type lives in the storage adapter.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace jet::sql {

// The column types of an Access table, as far as statements need to know them.
enum class ColumnType {
    Boolean,
    Byte,
    Integer,  // 16-bit
    Long,     // 32-bit
    Currency, // 64-bit, four decimal places
    Single,
    Double,
    DateTime,
    Binary, // fixed or variable binary up to 510 bytes
    Text,
    Ole,  // long binary
    Memo, // long text
    Guid,
    Decimal, // exact, with precision and scale
};

// Jet's SQL name of a column type, as CREATE TABLE would spell it ("LONG", "TEXT", ...).
std::string_view columnTypeName(ColumnType type);

// 128-bit integers hold Decimal's 96-bit mantissa with room for arithmetic.
__extension__ typedef __int128 Int128;
__extension__ typedef unsigned __int128 UInt128;

// An exact number: unscaled * 10^-scale. Holds Decimal (up to 28 digits) and Currency (scale 4).
struct Decimal {
    Int128 unscaled = 0;
    int scale = 0;
    friend bool operator==(const Decimal&, const Decimal&) = default;
};

// A point in time as Access stores it: days since 1899-12-30, the fraction being the time
// of day. Before the epoch the integer part is negative while the fraction still counts
// forward from midnight (-1.25 is 1899-12-29 06:00), so comparisons go through linear().
struct DateTime {
    double days = 0;
    double linear() const; // continuous day count, for comparing and sorting
    friend bool operator==(const DateTime&, const DateTime&) = default;
};

struct Bytes {
    std::vector<std::uint8_t> data;
    friend bool operator==(const Bytes&, const Bytes&) = default;
};

// A GUID in its usual text form "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}".
struct Guid {
    std::string text;
    friend bool operator==(const Guid&, const Guid&) = default;
};

class Value {
public:
    using Storage =
        std::variant<std::monostate, bool, std::int64_t, double, Decimal, std::string, DateTime, Bytes, Guid>;

    Value() = default;
    Value(bool b) : v_(b) {}
    Value(int i) : v_(std::int64_t{i}) {}
    Value(std::int64_t i) : v_(i) {}
    Value(double d) : v_(d) {}
    Value(Decimal d) : v_(d) {}
    Value(std::string s) : v_(std::move(s)) {}
    Value(const char* s) : v_(std::string(s)) {}
    Value(DateTime d) : v_(d) {}
    Value(Bytes b) : v_(std::move(b)) {}
    Value(Guid g) : v_(std::move(g)) {}

    bool isNull() const { return std::holds_alternative<std::monostate>(v_); }
    bool isBool() const { return std::holds_alternative<bool>(v_); }
    bool isInt() const { return std::holds_alternative<std::int64_t>(v_); }
    bool isDouble() const { return std::holds_alternative<double>(v_); }
    bool isDecimal() const { return std::holds_alternative<Decimal>(v_); }
    bool isText() const { return std::holds_alternative<std::string>(v_); }
    bool isDateTime() const { return std::holds_alternative<DateTime>(v_); }
    bool isBytes() const { return std::holds_alternative<Bytes>(v_); }
    bool isGuid() const { return std::holds_alternative<Guid>(v_); }
    bool isNumeric() const { return isBool() || isInt() || isDouble() || isDecimal(); }

    // Accessors: the caller checks the kind first; a value of another kind throws ExecutionError.
    bool asBool() const { return get<bool>("Yes/No"); }
    std::int64_t asInt() const { return get<std::int64_t>("whole number"); }
    double asDouble() const { return get<double>("floating-point"); }
    const Decimal& asDecimal() const { return get<Decimal>("decimal"); }
    const std::string& asText() const { return get<std::string>("text"); }
    DateTime asDateTime() const { return get<DateTime>("date"); }
    const Bytes& asBytes() const { return get<Bytes>("binary"); }
    const Guid& asGuid() const { return get<Guid>("GUID"); }

    // Numeric view of a number, Boolean (True is -1 as in Jet) or date (its day number).
    double toDouble() const;

    const Storage& storage() const { return v_; }
    friend bool operator==(const Value&, const Value&) = default;

private:
    template <class T>
    const T& get(const char* wanted) const {
        if (const T* v = std::get_if<T>(&v_)) return *v;
        wrongKind(wanted);
    }
    [[noreturn]] void wrongKind(const char* wanted) const;
    Storage v_;
};

using Row = std::vector<Value>;

// Decimal text of an exact number ("-12.50" for unscaled -1250 and scale 2).
std::string decimalToString(const Decimal& d);
// Parses "123", "-1.5", "0.0001"; false when the text is not a plain decimal number.
bool parseDecimal(std::string_view text, Decimal& out);
// A number with a point, an exponent or both, read alike in every locale (a German one
// would take the point for a separator); nothing when it is not a whole finite number.
std::optional<double> textToDouble(std::string_view text);
// "YYYY-MM-DD HH:MM:SS" as the export prints dates.
std::string dateTimeToString(DateTime d);
// Day number of a calendar date and time of day (proleptic Gregorian calendar).
DateTime makeDateTime(int year, int month, int day, int hour = 0, int minute = 0, double second = 0);

// A value as text for CSV output and messages: numbers exact, dates as above, binary as
// upper-case hexadecimal, Booleans as 1 / 0 (True / False would depend on the language).
std::string valueToText(const Value& v);

} // namespace jet::sql
