// jet::Error (see error.h).
#include "jet/error.h"

namespace jet {

Error::Error(std::string file, std::optional<uint32_t> page, const std::string& message)
    : std::runtime_error(message), file_(std::move(file)), page_(page) {}

void Error::locate(const std::string& file, const std::string& table, std::optional<RowId> row) {
    if (file_.empty()) file_ = file;
    if (table_.empty()) table_ = table;
    if (!row_) row_ = row;
}

} // namespace jet
