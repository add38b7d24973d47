// Scope guards for what a test installs process-wide (presenters, choosers, the engine's test
// hooks): the old state comes back when the scope ends, also when a failed ASSERT returns
// early, so that nothing leaks into the next test.
#pragma once

#include <utility>

namespace tablor::test {

// Runs `undo` at the end of the scope.
template <class Undo>
class ScopeExit {
public:
    explicit ScopeExit(Undo undo) : undo_(std::move(undo)) {}
    ~ScopeExit() { undo_(); }
    ScopeExit(const ScopeExit&) = delete;
    ScopeExit& operator=(const ScopeExit&) = delete;

private:
    Undo undo_;
};

// Installs `value` through a setter that returns what it replaces (setInputPresenter,
// TfrmBildedit::setOpenPictureChooser, ...) and puts that back at the end of the scope:
//   const auto presenter = installed(setInputPresenter, [](const InputRequest&) { ... });
template <class Setter, class Value>
[[nodiscard]] auto installed(Setter set, Value&& value) {
    return ScopeExit([set, previous = set(std::forward<Value>(value))]() mutable { set(std::move(previous)); });
}

// Sets a hook variable (jet::detail::pageWriteHook, ...) for the scope.
template <class T, class Value>
[[nodiscard]] auto assigned(T& slot, Value&& value) {
    return ScopeExit(
        [&slot, previous = std::exchange(slot, std::forward<Value>(value))]() mutable { slot = std::move(previous); });
}

} // namespace tablor::test
