#pragma once
// One move-only owner for every kind of handle: the traits say what "no handle" is and how to close one.
#include <utility>

namespace sondrel {

template <class T, class Traits>
class Unique {
 public:
  explicit Unique(T v = Traits::invalid()) noexcept : v_(v) {}
  Unique(Unique&& o) noexcept : v_(std::exchange(o.v_, Traits::invalid())) {}
  Unique& operator=(Unique&& o) noexcept {
    if (this != &o) reset(std::exchange(o.v_, Traits::invalid()));
    return *this;
  }
  Unique(const Unique&) = delete;
  Unique& operator=(const Unique&) = delete;
  ~Unique() { reset(); }

  T get() const noexcept { return v_; }
  explicit operator bool() const noexcept { return v_ != Traits::invalid(); }
  // Gives up ownership without closing.
  T release() noexcept { return std::exchange(v_, Traits::invalid()); }
  void reset(T v = Traits::invalid()) noexcept {
    T old = std::exchange(v_, v);
    if (old != Traits::invalid()) Traits::close(old);
  }

 private:
  T v_;
};

}  // namespace sondrel
