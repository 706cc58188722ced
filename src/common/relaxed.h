// SPDX-License-Identifier: MIT
#pragma once

#include <atomic>
#include <cstdint>

// A 32-bit field shared by the console thread and the audio thread. Every
// read and write is one relaxed atomic access: each value is seen whole, and
// no order between fields is promised or needed.
template <typename T> class Relaxed {
    static_assert(sizeof(T) == 4 && std::atomic<T>::is_always_lock_free);

  public:
    constexpr Relaxed(T initial = T()) : v(initial) {}
    Relaxed(const Relaxed &) = delete;

    operator T() const { return v.load(std::memory_order_relaxed); }
    Relaxed &operator=(T x) {
        v.store(x, std::memory_order_relaxed);
        return *this;
    }
    Relaxed &operator=(const Relaxed &other) { return *this = T(other); }

  private:
    std::atomic<T> v;
};
