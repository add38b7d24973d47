// BusyCursor.h — the hour-glass seam. The data-access core must not touch widgets, so a
// window registers a hook once and the layer calls it around every statement whose
// options ask for the hour glass (toHourGlass, doHourGlass).
#pragma once

namespace tablor {

using BusyHook = void (*)(bool busy);

// Installs the hook (nullptr removes it). Not thread-safe: call it at program start.
void setBusyHook(BusyHook hook);

// Calls the hook with true on construction and false on destruction; nests.
class BusyScope {
public:
    explicit BusyScope(bool enabled = true);
    ~BusyScope();
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

private:
    bool m_enabled;
};

} // namespace tablor
