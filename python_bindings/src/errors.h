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

// "TypeName: str(exception)" for the pending exception, which is cleared.
std::string take_exception_display();

// Runs an entry point so that no C++ exception reaches the interpreter.
template <typename Fn>
PyObject* guarded(Fn&& fn) {
  try {
    return fn();
  } catch (const std::bad_alloc&) {
    return PyErr_NoMemory();
  } catch (const std::exception& e) {
    PyErr_SetString(PyExc_RuntimeError, e.what());
    return nullptr;
  } catch (...) {
    PyErr_SetString(PyExc_RuntimeError, "unexpected internal error");
    return nullptr;
  }
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
