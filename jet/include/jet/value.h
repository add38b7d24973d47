// jet::Value: one cell of an Access table, holding every column type exactly
// (no float detour for Currency and Decimal, dates as Access's own day numbers).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace jet {

using Bytes = std::vector<uint8_t>;

// Currency: the amount times 10,000, as Access stores it.
struct Currency {
    int64_t scaled = 0;
    std::string toString() const; // exact, four decimals: "-12.3400"
    friend bool operator==(const Currency&, const Currency&) = default;
};

// Calendar fields of a date-time (proleptic Gregorian, as Access counts).
struct DateTimeParts {
    int year = 1899, month = 12, day = 30, hour = 0, minute = 0, second = 0;
};

// Date/Time: days since 1899-12-30 as a double. Before that day the value is negative
// and its fraction still counts forward into the day (-1.25 is 1899-12-29 06:00).
struct DateTime {
    double days = 0;
    DateTimeParts parts() const;  // rounded to the second
    std::string toString() const; // "YYYY-MM-DD HH:MM:SS"
    static DateTime fromParts(const DateTimeParts& p);
    friend bool operator==(const DateTime&, const DateTime&) = default;
};

// Replication ID: 16 bytes in the on-disk order (first three groups little-endian).
struct Guid {
    std::array<uint8_t, 16> bytes{};
    std::string toString() const; // "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}"
    friend bool operator==(const Guid&, const Guid&) = default;
};

// Decimal/Numeric: sign, 128-bit magnitude, scale digits after the point.
struct Decimal {
    bool negative = false;
    uint8_t precision = 18;
    uint8_t scale = 0;
    uint64_t high = 0;            // upper 64 bits of the magnitude
    uint64_t low = 0;             // lower 64 bits of the magnitude
    std::string toString() const; // exact, with `scale` decimals: "-1234.5600"
    friend bool operator==(const Decimal&, const Decimal&) = default;
};

// The column types of Jet 3 and Jet 4, with their on-disk codes.
enum class ColumnType : uint8_t {
    Boolean = 0x01,
    Byte = 0x02,
    Integer = 0x03, // 16-bit
    Long = 0x04,    // 32-bit
    Currency = 0x05,
    Single = 0x06,
    Double = 0x07,
    DateTime = 0x08,
    Binary = 0x09,    // up to 255 bytes
    Text = 0x0A,      // up to 255 characters
    Ole = 0x0B,       // long binary
    Memo = 0x0C,      // long text
    Unknown0D = 0x0D, // undocumented binary (read as Binary)
    Guid = 0x0F,      // replication ID
    Numeric = 0x10,   // decimal, 17 bytes
    Unknown11 = 0x11, // undocumented long binary of system tables (read as Binary)
};

// The shortest text that reads back as the same number, in plain notation for everyday
// magnitudes (100000, 0.15) and with an exponent beyond them (1e+20). Writes at most 40
// characters to `out` and returns the end.
char* formatDouble(double v, char* out);
char* formatSingle(float v, char* out);

// Access's own name for a type ("Long Integer", "Memo"...).
const char* columnTypeName(ColumnType type);
// True for the known codes above.
bool isKnownColumnType(uint8_t code);

class Value {
    using Storage = std::variant<std::monostate, bool, uint8_t, int16_t, int32_t, Currency, float, double, DateTime,
                                 std::string, Bytes, Guid, Decimal>;
    template <size_t I>
    const std::variant_alternative_t<I, Storage>& get() const {
        if (v_.index() != I) wrongKind(static_cast<Kind>(I));
        return *std::get_if<I>(&v_);
    }

public:
    enum class Kind : uint8_t {
        Null,
        Boolean,
        Byte,
        Integer,
        Long,
        Currency,
        Single,
        Double,
        DateTime,
        Text,
        Binary,
        Guid,
        Decimal
    };

    Value() = default; // null
    static Value null() { return Value(); }
    static Value boolean(bool v) { return Value(std::in_place_index<1>, v); }
    static Value byte(uint8_t v) { return Value(std::in_place_index<2>, v); }
    static Value integer(int16_t v) { return Value(std::in_place_index<3>, v); }
    static Value longInt(int32_t v) { return Value(std::in_place_index<4>, v); }
    static Value currency(Currency v) { return Value(std::in_place_index<5>, v); }
    static Value single(float v) { return Value(std::in_place_index<6>, v); }
    static Value dbl(double v) { return Value(std::in_place_index<7>, v); }
    static Value dateTime(DateTime v) { return Value(std::in_place_index<8>, v); }
    static Value text(std::string utf8) { return Value(std::in_place_index<9>, std::move(utf8)); }
    static Value binary(Bytes v) { return Value(std::in_place_index<10>, std::move(v)); }
    static Value guid(Guid v) { return Value(std::in_place_index<11>, v); }
    static Value decimal(Decimal v) { return Value(std::in_place_index<12>, v); }

    Kind kind() const { return static_cast<Kind>(v_.index()); }
    bool isNull() const { return v_.index() == 0; }

    // Accessors: the caller checks kind() first; a value of another kind throws ValueError.
    bool asBoolean() const { return get<1>(); }
    uint8_t asByte() const { return get<2>(); }
    int16_t asInteger() const { return get<3>(); }
    int32_t asLong() const { return get<4>(); }
    Currency asCurrency() const { return get<5>(); }
    float asSingle() const { return get<6>(); }
    double asDouble() const { return get<7>(); }
    DateTime asDateTime() const { return get<8>(); }
    const std::string& asText() const { return get<9>(); }
    const Bytes& asBinary() const { return get<10>(); }
    Guid asGuid() const { return get<11>(); }
    const Decimal& asDecimal() const { return get<12>(); }

    // Any integral kind (Boolean, Byte, Integer, Long) widened; throws ValueError otherwise.
    int64_t toInt64() const;

    // A plain text form: numbers exact, dates "YYYY-MM-DD HH:MM:SS", binary as upper-case hex,
    // Boolean "1"/"0", null as the empty string.
    std::string toString() const;

    friend bool operator==(const Value&, const Value&) = default;

private:
    [[noreturn]] void wrongKind(Kind wanted) const;
    template <size_t I, class... A>
    explicit Value(std::in_place_index_t<I> i, A&&... a) : v_(i, std::forward<A>(a)...) {}

    Storage v_;
};

} // namespace jet
