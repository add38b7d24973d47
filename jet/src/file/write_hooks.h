// Hooks that let the crash tests stop a writer at an exact step; never set in the program.
#pragma once

namespace jet::detail {

// Called after each page a flush writes to the file, when set.
extern void (*pageWriteHook)();
// Called at each step of the rollback journal, when set: after its entries are synced, after
// its header is synced (before the file is touched), and after the file is synced (before the
// journal is removed).
extern void (*journalStepHook)();

} // namespace jet::detail
