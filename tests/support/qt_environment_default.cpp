// Registers the plain QApplication of tablor_test_qt_environment (see qt_environment.h).
#include "support/qt_environment.h"

namespace {
[[maybe_unused]] ::testing::Environment* const environment =
    ::testing::AddGlobalTestEnvironment(new tablor::test::QtEnvironment);
} // namespace
