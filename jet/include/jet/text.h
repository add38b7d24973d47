// Text helpers shared by the engine and the SQL layer: UTF-8 decoding, case folding, names.
#pragma once

#include <string>
#include <string_view>

namespace jet {

// Whether two object names (tables, columns, indexes) are the same name: Access compares
// them without regard to case, also of accented Latin, Greek and Cyrillic letters ("ÄRGER" and
// "ärger" name the same table).
bool sameName(std::string_view a, std::string_view b);

// The lower-case letter of `c` for name and text comparisons (Latin-1, Latin Extended-A, Greek,
// Cyrillic); other characters are returned as they are.
char32_t foldCase(char32_t c);

// The code points of UTF-8 text; a broken sequence gives U+FFFD for its first byte.
std::u32string decodeUtf8(std::string_view utf8);

} // namespace jet
