#pragma once

#include <Python.h>

#include <utility>

namespace kubic::py {

// Lets other Python threads run while core work touches no Python object
// (decoding from a path or bytes, writing to a path). Construct it with
// the interpreter lock held; it is taken back on destruction. Meanwhile
// the interrupt check takes the lock back now and then on the main thread
// to look for Ctrl-C.
class WithoutGil {
 public:
  WithoutGil();
  ~WithoutGil();
  WithoutGil(const WithoutGil&) = delete;
  WithoutGil& operator=(const WithoutGil&) = delete;

  // Runs fn() with the lock held (to make Python objects), then lets go of
  // it again.
  template <typename Fn>
  auto with_gil(Fn&& fn) {
    Holding holding;
    return std::forward<Fn>(fn)();
  }

 private:
  struct Holding {
    Holding();
    ~Holding();
  };
};

// For the interrupt check on a thread inside WithoutGil: calls look() with
// the lock held, at most every few tens of milliseconds and on the main
// thread only (the one signal handlers run on); false otherwise.
bool check_without_gil(bool (*look)());

}  // namespace kubic::py
