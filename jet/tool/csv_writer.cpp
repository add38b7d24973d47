// CSV output (see csv_writer.h).
#include "csv_writer.h"

#include <charconv>
#include <cstring>

namespace jet::tool {

CsvWriter::CsvWriter(std::FILE* out) : out_(out) { buf_.reserve(1 << 20); }
CsvWriter::~CsvWriter() { flush(); }

void CsvWriter::spill() {
    if (buf_.size() >= (1 << 20)) flush();
}

void CsvWriter::flush() {
    if (!buf_.empty()) std::fwrite(buf_.data(), 1, buf_.size(), out_);
    buf_.clear();
}

void CsvWriter::quoted(const std::string& s) {
    buf_.push_back('"');
    size_t start = 0;
    for (size_t q = s.find('"'); q != std::string::npos; q = s.find('"', start)) {
        buf_.append(s, start, q - start + 1);
        buf_.push_back('"');
        start = q + 1;
    }
    buf_.append(s, start, std::string::npos);
    buf_.push_back('"');
}

void CsvWriter::header(const std::vector<ColumnDef>& columns) {
    quoteBinary_.clear();
    for (size_t i = 0; i < columns.size(); ++i) {
        const auto& name = columns[i].name;
        quoteBinary_.push_back(columns[i].type == ColumnType::Ole);
        if (i) buf_.push_back(',');
        if (name.find_first_of(",\"\r\n") != std::string::npos) quoted(name);
        else buf_ += name;
    }
    buf_.push_back('\n');
    spill();
}

void CsvWriter::field(const Value& v, bool quoteBinary) {
    static const char hex[] = "0123456789ABCDEF";
    char tmp[64];
    switch (v.kind()) {
    case Value::Kind::Null: return;
    case Value::Kind::Text: quoted(v.asText()); return;
    case Value::Kind::Binary: {
        const auto& b = v.asBinary();
        const size_t at = buf_.size();
        buf_.resize(at + 2 * b.size() + (quoteBinary ? 2 : 0));
        char* p = buf_.data() + at;
        if (quoteBinary) *p++ = '"';
        for (uint8_t x : b) {
            *p++ = hex[x >> 4];
            *p++ = hex[x & 15];
        }
        if (quoteBinary) *p++ = '"';
        return;
    }
    case Value::Kind::DateTime: {
        const auto d = v.asDateTime().parts();
        if (d.year < 0 || d.year > 9999) {
            quoted(v.asDateTime().toString());
            return;
        }
        // Fixed layout "YYYY-MM-DD HH:MM:SS" without printf.
        char* p = tmp;
        *p++ = '"';
        auto two = [&](int x) {
            *p++ = static_cast<char>('0' + x / 10);
            *p++ = static_cast<char>('0' + x % 10);
        };
        two(d.year / 100);
        two(d.year % 100);
        *p++ = '-';
        two(d.month);
        *p++ = '-';
        two(d.day);
        *p++ = ' ';
        two(d.hour);
        *p++ = ':';
        two(d.minute);
        *p++ = ':';
        two(d.second);
        *p++ = '"';
        buf_.append(tmp, p);
        return;
    }
    case Value::Kind::Boolean: buf_.push_back(v.asBoolean() ? '1' : '0'); return;
    case Value::Kind::Byte:
    case Value::Kind::Integer:
    case Value::Kind::Long: {
        auto r = std::to_chars(tmp, tmp + sizeof tmp, v.toInt64());
        buf_.append(tmp, r.ptr);
        return;
    }
    case Value::Kind::Single: buf_.append(tmp, formatSingle(v.asSingle(), tmp)); return;
    case Value::Kind::Double: buf_.append(tmp, formatDouble(v.asDouble(), tmp)); return;
    case Value::Kind::Guid: quoted(v.asGuid().toString()); return;
    case Value::Kind::Currency: buf_ += v.asCurrency().toString(); return;
    case Value::Kind::Decimal: buf_ += v.asDecimal().toString(); return;
    }
}

void CsvWriter::row(const std::vector<Value>& values) {
    for (size_t i = 0; i < values.size(); ++i) {
        if (i) buf_.push_back(',');
        field(values[i], i < quoteBinary_.size() && quoteBinary_[i]);
    }
    buf_.push_back('\n');
    spill();
}

} // namespace jet::tool
