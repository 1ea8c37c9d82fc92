#include "support/gil.h"

#include <chrono>

namespace kubic::py {

namespace {

// Often enough that Ctrl-C stops work at once, rarely enough not to
// contend for the lock.
constexpr auto kCheckInterval = std::chrono::milliseconds(50);

thread_local PyThreadState* released_state = nullptr;
thread_local bool main_thread = false;
thread_local std::chrono::steady_clock::time_point last_check;

// Whether the calling thread, holding the lock, is the interpreter's main thread.
bool on_main_thread() {
  PyObject* threading = PyImport_ImportModule("threading");
  PyObject* main = threading ? PyObject_CallMethod(threading, "main_thread", nullptr) : nullptr;
  PyObject* ident = main ? PyObject_GetAttrString(main, "ident") : nullptr;
  bool is_main = ident && PyLong_AsUnsignedLong(ident) == PyThread_get_thread_ident();
  Py_XDECREF(ident);
  Py_XDECREF(main);
  Py_XDECREF(threading);
  PyErr_Clear();
  return is_main;
}

}  // namespace

WithoutGil::WithoutGil() {
  main_thread = on_main_thread();
  last_check = std::chrono::steady_clock::now();
  released_state = PyEval_SaveThread();
}

WithoutGil::~WithoutGil() {
  PyEval_RestoreThread(released_state);
  released_state = nullptr;
}

WithoutGil::Holding::Holding() {
  PyEval_RestoreThread(released_state);
  released_state = nullptr;
}

WithoutGil::Holding::~Holding() { released_state = PyEval_SaveThread(); }

bool check_without_gil(bool (*look)()) {
  if (!released_state || !main_thread) return false;
  const auto now = std::chrono::steady_clock::now();
  if (now - last_check < kCheckInterval) return false;
  last_check = now;
  PyEval_RestoreThread(released_state);
  const bool stop = look();
  released_state = PyEval_SaveThread();
  return stop;
}

}  // namespace kubic::py
