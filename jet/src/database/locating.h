// Runs one public call of the engine so that a failure of it names the file and the table
// (and the row) it was about, where the code that threw did not know them.
#pragma once

#include "jet/error.h"

#include <optional>
#include <string>

namespace jet::detail {

template <class F>
decltype(auto) locating(const std::string& file, const std::string& table, std::optional<RowId> row, F&& f) {
    try {
        return f();
    } catch (Error& e) {
        e.locate(file, table, row);
        throw;
    }
}

template <class F>
decltype(auto) locating(const std::string& file, const std::string& table, F&& f) {
    return locating(file, table, std::nullopt, std::forward<F>(f));
}

} // namespace jet::detail
