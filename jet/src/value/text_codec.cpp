// Text decoding (see text_codec.h).
#include "value/text_codec.h"

#include "jet/error.h"

#include <cerrno>
#include <cstdlib>
#include <iconv.h>

namespace jet::detail {

namespace {
constexpr uint16_t kCp1252High[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                      0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                      0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                      0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
} // namespace

uint32_t cp1252ToUnicode(uint8_t b) { return (b >= 0x80 && b < 0xA0) ? kCp1252High[b - 0x80] : b; }

void appendUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

namespace {
// UCS-2/UTF-16 code units to UTF-8; a lone surrogate becomes U+FFFD.
void appendUtf16(std::string& out, std::span<const uint8_t> b) {
    const size_t n = b.size() / 2;
    for (size_t i = 0; i < n; ++i) {
        uint32_t u = b[2 * i] | (b[2 * i + 1] << 8);
        if (u < 0x80) {
            out.push_back(static_cast<char>(u));
            continue;
        }
        if (u >= 0xD800 && u < 0xDC00 && i + 1 < n) {
            const uint32_t lo = b[2 * i + 2] | (b[2 * i + 3] << 8);
            if (lo >= 0xDC00 && lo < 0xE000) {
                appendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (lo - 0xDC00));
                ++i;
                continue;
            }
        }
        if (u >= 0xD800 && u < 0xE000) u = 0xFFFD;
        appendUtf8(out, u);
    }
}
} // namespace

void decodeJet4Text(std::span<const uint8_t> b, std::string& out) {
    if (b.size() >= 2 && b[0] == 0xFF && b[1] == 0xFE) {
        bool compressed = true;
        size_t i = 2;
        while (i < b.size()) {
            if (b[i] == 0) {
                compressed = !compressed;
                ++i;
                continue;
            }
            if (compressed) {
                appendUtf8(out, b[i]);
                ++i;
            } else {
                if (i + 1 >= b.size()) break;
                appendUtf16(out, b.subspan(i, 2));
                i += 2;
            }
        }
        return;
    }
    appendUtf16(out, b);
}

std::string decodeJet4Text(std::span<const uint8_t> bytes) {
    std::string s;
    decodeJet4Text(bytes, s);
    return s;
}

Jet3Charset::Jet3Charset(const std::string& fileName, const std::string& name, uint16_t codePage) {
    std::string n = name;
    if (n.empty()) n = std::to_string(codePage == 0 ? 1252 : codePage);
    // A bare number is a Windows code page.
    if (!n.empty() && n.find_first_not_of("0123456789") == std::string::npos) {
        const int cp = std::atoi(n.c_str());
        if (cp == 1252) n = "CP1252";
        else if (cp == 936) n = "GBK";
        else if (cp == 950) n = "BIG5";
        else if (cp == 932) n = "CP932";
        else if (cp == 949) n = "CP949";
        else n = "CP" + std::to_string(cp);
    }
    name_ = n;
    std::string upper;
    for (char c : n) upper.push_back(static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c));
    if (upper == "CP1252" || upper == "WINDOWS-1252" || upper == "1252") {
        cp1252_ = true;
        return;
    }
    cp1252_ = false;
    iconv_t cd = iconv_open("UTF-8", n.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        throw EncodingError(fileName, std::nullopt,
                            "the code page \"" + n + "\" for the text of " + fileName +
                                " is not known to this system's iconv. Give a code page such "
                                "as 1252, 1251, 936 or GBK.");
    }
    iconv_ = cd;
}

Jet3Charset::~Jet3Charset() {
    if (iconv_) iconv_close(static_cast<iconv_t>(iconv_));
    if (toPage_) iconv_close(static_cast<iconv_t>(toPage_));
}

namespace {

// The Windows-1252 byte of a code point, or -1.
int unicodeToCp1252(uint32_t cp) {
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<int>(cp);
    for (int i = 0; i < 32; ++i)
        if (kCp1252High[i] == cp) return 0x80 + i;
    return -1;
}

// The code point starting at `at` (advanced past it); U+FFFD for a broken sequence.
uint32_t nextCodePoint(std::string_view s, size_t& at) {
    const auto b = static_cast<unsigned char>(s[at++]);
    if (b < 0x80) return b;
    const int extra = b >= 0xF0 ? 3 : b >= 0xE0 ? 2 : b >= 0xC0 ? 1 : -1;
    if (extra < 0) return 0xFFFD;
    uint32_t cp = b & (0x3F >> extra);
    for (int i = 0; i < extra; ++i) {
        if (at >= s.size() || (static_cast<unsigned char>(s[at]) & 0xC0) != 0x80) return 0xFFFD;
        cp = (cp << 6) | (static_cast<unsigned char>(s[at++]) & 0x3F);
    }
    return cp;
}

} // namespace

bool Jet3Charset::encode(std::string_view utf8, std::vector<uint8_t>& out, uint32_t& unencodable) const {
    out.clear();
    out.reserve(utf8.size());
    if (cp1252_) {
        for (size_t at = 0; at < utf8.size();) {
            const uint32_t cp = nextCodePoint(utf8, at);
            const int b = unicodeToCp1252(cp);
            if (b < 0) {
                unencodable = cp;
                return false;
            }
            out.push_back(static_cast<uint8_t>(b));
        }
        return true;
    }
    auto* self = const_cast<Jet3Charset*>(this);
    if (!toPage_) {
        iconv_t cd = iconv_open(name_.c_str(), "UTF-8");
        if (cd == reinterpret_cast<iconv_t>(-1)) {
            unencodable = utf8.empty() ? 0 : 0xFFFD;
            return utf8.empty();
        }
        self->toPage_ = cd;
    }
    auto cd = static_cast<iconv_t>(toPage_);
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    char* in = const_cast<char*>(utf8.data());
    size_t inLeft = utf8.size();
    char buf[1024];
    while (inLeft > 0) {
        char* o = buf;
        size_t oLeft = sizeof buf;
        const size_t r = iconv(cd, &in, &inLeft, &o, &oLeft);
        out.insert(out.end(), buf, o);
        if (r == static_cast<size_t>(-1)) {
            if (errno == E2BIG) continue;
            size_t at = static_cast<size_t>(in - utf8.data());
            unencodable = nextCodePoint(utf8, at);
            return false;
        }
        // Some iconv versions count characters they replaced instead of failing.
        if (r != 0) {
            unencodable = 0xFFFD;
            return false;
        }
    }
    return true;
}

void Jet3Charset::decode(std::span<const uint8_t> b, std::string& out) const {
    if (cp1252_) {
        for (uint8_t c : b) {
            if (c < 0x80) out.push_back(static_cast<char>(c));
            else appendUtf8(out, cp1252ToUnicode(c));
        }
        return;
    }
    auto cd = static_cast<iconv_t>(iconv_);
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    char* in = const_cast<char*>(reinterpret_cast<const char*>(b.data()));
    size_t inLeft = b.size();
    char buf[1024];
    while (inLeft > 0) {
        char* o = buf;
        size_t oLeft = sizeof buf;
        const size_t r = iconv(cd, &in, &inLeft, &o, &oLeft);
        out.append(buf, static_cast<size_t>(o - buf));
        if (r == static_cast<size_t>(-1)) {
            if (errno == E2BIG) continue;
            // An invalid or truncated sequence: one replacement character, skip one byte.
            appendUtf8(out, 0xFFFD);
            ++in;
            --inLeft;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
        }
    }
}

std::string Jet3Charset::decode(std::span<const uint8_t> bytes) const {
    std::string s;
    decode(bytes, s);
    return s;
}

} // namespace jet::detail
