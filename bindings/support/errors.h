#pragma once

#include <Python.h>

#include <new>
#include <string>
#include <string_view>

#include "common/status.h"
#include "io/file_stream.h"

namespace kubic::py {

// Raises `type` with the whole message (UTF-8, NULs included); returns null.
PyObject* raise_message(PyObject* type, std::string_view message);

// Raises RuntimeError with a core error's message; returns null.
PyObject* raise_status(const Status& status);

// Raises the OSError subclass for a failed open, message unchanged.
PyObject* raise_open_error(const OpenError& error);

// "TypeName: str(exception)" for the pending exception, which is cleared;
// a KeyboardInterrupt is kept for finish_entry() instead.
std::string take_exception_display();

// The core's interrupt check while the module runs core work: true once a
// signal handler raised (KeyboardInterrupt for Ctrl-C), whose exception is
// kept until the entry point returns. Without the interpreter lock (inside
// WithoutGil) the main thread takes it back to look now and then.
bool python_interrupt_pending();

// The core's notice sink while the module is loaded: each line goes to
// sys.stdout.write (falling back to nothing when there is none), with any
// pending exception kept as it was.
void write_notice_to_sys_stdout(const std::string& line);

// Hands back `result` unless core work was interrupted; then drops it and
// raises the kept exception instead of whatever error the core reported.
PyObject* finish_entry(PyObject* result);

// Runs an entry point so that no C++ exception reaches the interpreter and
// an interrupt surfaces as the handler's own exception.
template <typename Fn>
PyObject* guarded(Fn&& fn) {
  PyObject* result;
  try {
    result = fn();
  } catch (const std::bad_alloc&) {
    result = PyErr_NoMemory();
  } catch (const std::exception& e) {
    PyErr_SetString(PyExc_RuntimeError, e.what());
    result = nullptr;
  } catch (...) {
    PyErr_SetString(PyExc_RuntimeError, "unexpected internal error");
    result = nullptr;
  }
  return finish_entry(result);
}

// Objects that hold shared block states stay on the thread that made them.
struct ThreadConfinement {
  unsigned long owner = PyThread_get_thread_ident();
  // True on the owner thread; otherwise raises RuntimeError
  // "{type_path} is unsendable, but sent to another thread".
  bool check(const char* type_path) const;
  // On a foreign thread: reports the drop as unraisable and returns false,
  // telling the caller to leak the contents.
  bool may_release(const char* type_path) const;
};

}  // namespace kubic::py
