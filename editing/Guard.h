#pragma once
#include <QObject>
#include <exception>
#include <functional>
#include <tuple>
#include <type_traits>
#include <utility>

namespace editing {

/// Receives every error that escapes a guarded handler. The handler has already ended.
using ErrorHook = std::function<void(std::exception_ptr)>;

/// Installs the process-wide error hook and hands back the previous one. An empty hook
/// restores the default, quietErrorHandling.
ErrorHook setErrorHook(ErrorHook hook);

/// What the program does with an error by default and what the main window's hook builds
/// on: nothing is shown; one line per error goes to the standard error stream
/// (category "cartulo.errors"); a masked entry left half filled gets its whole text selected.
void quietErrorHandling(std::exception_ptr error) noexcept;

/// Hands an error to the current hook. Never throws: a hook that throws is reported
/// on the standard error stream and otherwise ignored.
void reportError(std::exception_ptr error) noexcept;

/// Runs a handler; whatever it throws ends it and goes to the error hook.
/// For handlers entered other than through a signal (key events, timers, event filters).
void runGuarded(const std::function<void()> &handler) noexcept;

/// RAII: installs a hook for a scope (tests), restoring the previous one afterwards.
class ScopedErrorHook {
public:
    explicit ScopedErrorHook(ErrorHook hook) : m_previous(setErrorHook(std::move(hook))) {}
    ~ScopedErrorHook() { setErrorHook(std::move(m_previous)); }
    ScopedErrorHook(const ScopedErrorHook &) = delete;
    ScopedErrorHook &operator=(const ScopedErrorHook &) = delete;

private:
    ErrorHook m_previous;
};

namespace detail {

template <typename F, typename Tuple, std::size_t... I>
constexpr bool invocableWithFirst(std::index_sequence<I...>)
{
    return std::is_invocable_v<F &, std::tuple_element_t<I, Tuple>...>;
}

// Calls the handler with as many leading signal arguments as it takes, as Qt does.
template <std::size_t N, typename F, typename Tuple>
void callWithPrefix(F &handler, Tuple &args)
{
    if constexpr (invocableWithFirst<F, Tuple>(std::make_index_sequence<N>{})) {
        [&]<std::size_t... I>(std::index_sequence<I...>) {
            std::invoke(handler, std::get<I>(args)...);
        }(std::make_index_sequence<N>{});
    } else {
        static_assert(N > 0, "the handler does not accept the signal's arguments");
        if constexpr (N > 0)
            callWithPrefix<N - 1>(handler, args);
    }
}

} // namespace detail

/// Connects a control's signal to a handler through the guard: whatever the handler
/// throws ends it and reaches the error hook; no exception crosses a Qt frame.
/// The handler may take any leading part of the signal's arguments.
///   guard(button, &QAbstractButton::clicked, this, [this] { ... });
template <typename Sender, typename Signal, typename Handler>
QMetaObject::Connection guard(const Sender *sender, Signal signal, const QObject *context,
                              Handler handler)
{
    return QObject::connect(
        sender, signal, context,
        [handler = std::move(handler)](auto &&...signalArgs) mutable {
            auto args = std::forward_as_tuple(signalArgs...);
            runGuarded([&] {
                detail::callWithPrefix<sizeof...(signalArgs)>(handler, args);
            });
        });
}

/// The same for a member function of the receiver: guard(button, &QPushButton::clicked, panel, &Panel::onClick).
template <typename Sender, typename Signal, typename Receiver, typename R, typename... A>
QMetaObject::Connection guard(const Sender *sender, Signal signal, Receiver *receiver,
                              R (Receiver::*slot)(A...))
{
    return guard(sender, signal, receiver, [receiver, slot](A... a) { (receiver->*slot)(a...); });
}

} // namespace editing
