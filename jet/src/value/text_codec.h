// Text on disk to UTF-8: Jet 4's UCS-2 (plain or "compressed Unicode") and Jet 3's
// single/double-byte code pages (Windows-1252 built in, others through iconv).
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace jet::detail {

// Appends the UTF-8 form of code point `cp` to `out`.
void appendUtf8(std::string& out, uint32_t cp);

// Jet 4 text. Plain: UCS-2 little-endian. Compressed: starts with FF FE; then runs of one
// byte per character (the low byte of a code point below 256) and, after each 00 byte,
// switch to two-byte UCS-2 until the next 00 toggles back.
void decodeJet4Text(std::span<const uint8_t> bytes, std::string& out);
std::string decodeJet4Text(std::span<const uint8_t> bytes);

// Converts Jet 3 text of one code page to UTF-8.
class Jet3Charset {
public:
    // `name`: an iconv name ("GBK") or a number ("936"); empty: the Windows code page
    // `codePage` from the header (0 taken as 1252). Throws EncodingError for an unknown one.
    Jet3Charset(const std::string& fileName, const std::string& name, uint16_t codePage);
    ~Jet3Charset();
    Jet3Charset(const Jet3Charset&) = delete;
    Jet3Charset& operator=(const Jet3Charset&) = delete;

    void decode(std::span<const uint8_t> bytes, std::string& out) const;
    std::string decode(std::span<const uint8_t> bytes) const;

    // UTF-8 to this code page, exactly: false when a character has no byte form here (then
    // `unencodable` is that character's code point, `out` is unspecified). Never "?".
    bool encode(std::string_view utf8, std::vector<uint8_t>& out, uint32_t& unencodable) const;
    bool isWindows1252() const { return cp1252_; }
    const std::string& name() const { return name_; }

private:
    std::string name_;
    bool cp1252_ = true;
    void* iconv_ = nullptr;  // iconv_t, code page to UTF-8
    void* toPage_ = nullptr; // iconv_t, UTF-8 to the code page, opened when first needed
};

// Windows-1252 byte to code point. The five bytes Windows-1252 leaves undefined (0x81,
// 0x8D, 0x8F, 0x90, 0x9D) map to the C1 control of the same value, as Windows does, so
// that the text round-trips.
uint32_t cp1252ToUnicode(uint8_t b);

} // namespace jet::detail
