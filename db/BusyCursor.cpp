// BusyCursor.cpp — nesting counter around the registered hour-glass hook.
#include "db/BusyCursor.h"

namespace tablor {

namespace {
BusyHook g_hook = nullptr;
int g_depth = 0;
} // namespace

void setBusyHook(BusyHook hook) { g_hook = hook; }

BusyScope::BusyScope(bool enabled) : m_enabled(enabled) {
    if (m_enabled && g_depth++ == 0 && g_hook) g_hook(true);
}

BusyScope::~BusyScope() {
    if (m_enabled && --g_depth == 0 && g_hook) g_hook(false);
}

} // namespace tablor
