// A non-owning reference to something callable, for a call that runs it before it returns and
// keeps nothing: unlike std::function it never allocates.
#pragma once

#include <memory>
#include <type_traits>
#include <utility>

template <typename Signature>
class FunctionRef;

template <typename R, typename... Args>
class FunctionRef<R(Args...)> {
 public:
  template <typename F,
            typename = std::enable_if_t<!std::is_same<std::decay_t<F>, FunctionRef>::value>>
  FunctionRef(F&& f) noexcept  // NOLINT: converts from any callable, as std::function does
      : object_(const_cast<void*>(static_cast<const void*>(std::addressof(f)))),
        call_([](void* object, Args... args) -> R {
          return (*static_cast<std::remove_reference_t<F>*>(object))(std::forward<Args>(args)...);
        }) {}

  R operator()(Args... args) const { return call_(object_, std::forward<Args>(args)...); }

 private:
  void* object_;
  R (*call_)(void*, Args...);
};
