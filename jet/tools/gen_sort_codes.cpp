// Build-time generator: turns the sort-order code tables in jet/data/sort-codes/ into a C++
// source file with constant arrays, so that the index key codec needs no data files at run time.
//
// Usage: gen_sort_codes <folder with the tables> <output .cpp>
//
// Each code line describes one UTF-16 code unit (the line number is the code unit, counted from
// U+0000 in index_codes_*.txt and from U+0100 in index_codes_ext_*.txt, surrogates left out):
//   X            the character is left out of the key
//   S<hex>       written inline as <hex>
//   G<hex>       as S, and counts as a "significant" character for the Access 97 extra nibbles
//   I<hex>,<hx>  inline <hex> plus the extra (accent) bytes <hx> after the text
//   U<hex>       nothing inline; an "unprintable" record with the bytes <hex> at the end
//   P<hx>        nothing inline; adds <hx> to the last extra byte written so far
//   Z<hex>,<hx>,<f>  inline <hex>, optional extra bytes <hx>, and a two-bit flag (f=1: 2, else 3)
// A hex string of odd length has lost its leading zero.
// index_mappings_ext_gen_97.txt lists "<code point>,<byte>" pairs: characters outside Latin-1
// that the Access 97 order sorts like a byte of code page 1252.

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

struct Code {
    int kind = 0; // values of jet::detail::CharKind
    std::vector<std::uint8_t> first;
    std::vector<std::uint8_t> second;
    int flag = 0;
};

// Keep in step with jet::detail::CharKind in jet/src/index/sort_codes.h.
enum Kind { Ignored = 0, Simple, International, Unprintable, UnprintableExt, InternationalExt, Significant };

std::vector<std::uint8_t> hexBytes(const std::string& text, const std::string& where) {
    std::string hex = text;
    if (hex.size() % 2 != 0) hex.insert(hex.begin(), '0');
    std::vector<std::uint8_t> out;
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        std::size_t used = 0;
        int value = std::stoi(hex.substr(i, 2), &used, 16);
        if (used != 2) throw std::runtime_error("bad hex code '" + text + "' at " + where);
        out.push_back(static_cast<std::uint8_t>(value));
    }
    return out;
}

std::vector<std::string> splitFields(const std::string& text) {
    std::vector<std::string> parts;
    std::string cur;
    for (char c : text) {
        if (c == ',') {
            parts.push_back(cur);
            cur.clear();
        } else {
            cur += c;
        }
    }
    parts.push_back(cur);
    return parts;
}

Code parseLine(std::string line, const std::string& where) {
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
    if (line.empty()) throw std::runtime_error("empty code line at " + where);
    Code code;
    const char prefix = line[0];
    const std::vector<std::string> f = splitFields(line.substr(1));
    auto need = [&](std::size_t n) {
        if (f.size() != n) throw std::runtime_error("unexpected code line '" + line + "' at " + where);
    };
    switch (prefix) {
    case 'X': code.kind = Ignored; break;
    case 'S':
        need(1);
        code.kind = Simple;
        code.first = hexBytes(f[0], where);
        break;
    case 'G':
        need(1);
        code.kind = Significant;
        code.first = hexBytes(f[0], where);
        break;
    case 'I':
        need(2);
        code.kind = International;
        code.first = hexBytes(f[0], where);
        code.second = hexBytes(f[1], where);
        break;
    case 'U':
        need(1);
        code.kind = Unprintable;
        code.first = hexBytes(f[0], where);
        break;
    case 'P': {
        need(1);
        code.kind = UnprintableExt;
        auto b = hexBytes(f[0], where);
        if (b.size() != 1) throw std::runtime_error("modifier of more than one byte at " + where);
        code.flag = b[0];
        break;
    }
    case 'Z':
        need(3);
        code.kind = InternationalExt;
        code.first = hexBytes(f[0], where);
        if (!f[1].empty()) code.second = hexBytes(f[1], where);
        code.flag = (f[2] == "1") ? 2 : 3;
        break;
    default: throw std::runtime_error("unknown code kind in '" + line + "' at " + where);
    }
    if (code.first.size() > 255 || code.second.size() > 255) throw std::runtime_error("code too long at " + where);
    return code;
}

std::vector<std::string> readLines(const std::string& path) {
    std::ifstream in(path);
    if (!in) throw std::runtime_error("cannot read " + path);
    std::vector<std::string> lines;
    std::string line;
    while (std::getline(in, line)) lines.push_back(line);
    while (!lines.empty() && lines.back().empty()) lines.pop_back();
    return lines;
}

// Emits one table: `count` entries for the code units first..first+count-1.
void emitTable(std::ostream& out, const std::string& name, const std::vector<Code>& codes) {
    std::vector<std::uint8_t> pool;
    std::ostringstream entries;
    int n = 0;
    for (const Code& c : codes) {
        const std::size_t offset = pool.size();
        pool.insert(pool.end(), c.first.begin(), c.first.end());
        pool.insert(pool.end(), c.second.begin(), c.second.end());
        entries << '{' << offset << ',' << c.kind << ',' << c.first.size() << ',' << c.second.size() << ',' << c.flag
                << "},";
        if (++n % 8 == 0) entries << '\n';
    }
    out << "const std::uint8_t " << name << "Bytes[] = {\n";
    for (std::size_t i = 0; i < pool.size(); ++i) {
        out << static_cast<int>(pool[i]) << ',';
        if (i % 32 == 31) out << '\n';
    }
    if (pool.empty()) out << '0';
    out << "};\n";
    out << "const CharCode " << name << "Codes[] = {\n" << entries.str() << "};\n";
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: gen_sort_codes <sort-codes folder> <output.cpp>\n";
        return 2;
    }
    try {
        const std::string dir = argv[1];
        auto load = [&](const std::string& file, std::size_t first, std::size_t last, bool skipSurrogates) {
            const std::vector<std::string> lines = readLines(dir + "/" + file);
            std::vector<Code> codes;
            std::size_t next = 0;
            for (std::size_t cp = first; cp <= last; ++cp) {
                if (skipSurrogates && cp >= 0xD800 && cp <= 0xDFFF) {
                    // Not in the files: a lone surrogate half gets no weight in the key.
                    codes.push_back(Code{});
                    continue;
                }
                if (next >= lines.size())
                    throw std::runtime_error(file + " ends early: no line for U+" + std::to_string(cp));
                codes.push_back(parseLine(lines[next], file + " line " + std::to_string(next + 1)));
                ++next;
            }
            if (next != lines.size()) throw std::runtime_error(file + " has more lines than characters");
            return codes;
        };

        std::vector<Code> legacy = load("index_codes_genleg.txt", 0x0000, 0x00FF, false);
        std::vector<Code> legacyExt = load("index_codes_ext_genleg.txt", 0x0100, 0xFFFF, true);
        legacy.insert(legacy.end(), legacyExt.begin(), legacyExt.end());
        const std::vector<Code> g97 = load("index_codes_gen_97.txt", 0x0000, 0x00FF, false);

        std::vector<std::pair<int, int>> mappings;
        for (const std::string& line : readLines(dir + "/index_mappings_ext_gen_97.txt")) {
            if (line.empty()) continue;
            const auto f = splitFields(line);
            if (f.size() != 2) throw std::runtime_error("bad mapping line '" + line + "'");
            const int from = std::stoi(f[0]);
            const int to = std::stoi(f[1]);
            if (from < 0x100 || from > 0xFFFF || to < 0 || to > 0xFF)
                throw std::runtime_error("mapping out of range '" + line + "'");
            mappings.emplace_back(from, to);
        }

        std::ofstream out(argv[2]);
        if (!out) throw std::runtime_error(std::string("cannot write ") + argv[2]);
        out << "// Generated by jet/tools/gen_sort_codes from jet/data/sort-codes/ (Apache-2.0, see its NOTICE).\n"
               "// Do not edit.\n#include \"index/sort_codes.h\"\n\nnamespace jet::detail {\n\n";
        emitTable(out, "kGeneralLegacy", legacy);
        emitTable(out, "kGeneral97", g97);
        out << "const CodeMapping kGeneral97Mappings[] = {\n";
        for (auto [from, to] : mappings) out << '{' << from << ',' << to << "},";
        out << "};\nconst std::size_t kGeneral97MappingCount = " << mappings.size() << ";\n";
        out << "\n}  // namespace jet::detail\n";
        if (!out) throw std::runtime_error(std::string("writing ") + argv[2] + " failed");
    } catch (const std::exception& e) {
        std::cerr << "gen_sort_codes: " << e.what() << '\n';
        return 1;
    }
    return 0;
}
