// jet::Error (see error.h).
#include "jet/error.h"

namespace jet {

Error::Error(std::string file, std::optional<uint32_t> page, const std::string& message)
    : std::runtime_error(message), file_(std::move(file)), page_(page) {}

} // namespace jet
