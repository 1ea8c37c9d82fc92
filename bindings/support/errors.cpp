#include "support/errors.h"

#include <cerrno>

#include "support/gil.h"
#include "support/py_ref.h"

namespace kubic::py {

PyObject* raise_message(PyObject* type, std::string_view message) {
  // Decoded by length: a message may quote text holding U+0000.
  PyRef text(PyUnicode_DecodeUTF8(message.data(), static_cast<Py_ssize_t>(message.size()), "replace"));
  if (text) PyErr_SetObject(type, text.get());
  return nullptr;
}

PyObject* raise_status(const Status& status) { return raise_message(PyExc_RuntimeError, status.message()); }

namespace {

// The exception of a signal handler that stopped core work on this thread.
struct KeptInterrupt {
  PyObject* type = nullptr;
  PyObject* value = nullptr;
  PyObject* traceback = nullptr;
};
thread_local KeptInterrupt kept;

PyObject* os_error_class(int error_number) {
  switch (error_number) {
    case ENOENT: return PyExc_FileNotFoundError;
    case EACCES:
    case EPERM: return PyExc_PermissionError;
    case EISDIR: return PyExc_IsADirectoryError;
    case ENOTDIR: return PyExc_NotADirectoryError;
    case EEXIST: return PyExc_FileExistsError;
    case EINTR: return PyExc_InterruptedError;
    case EAGAIN:
    case EALREADY:
    case EINPROGRESS: return PyExc_BlockingIOError;
    case ETIMEDOUT: return PyExc_TimeoutError;
    case EPIPE:
    case ESHUTDOWN: return PyExc_BrokenPipeError;
    case ECONNREFUSED: return PyExc_ConnectionRefusedError;
    case ECONNRESET: return PyExc_ConnectionResetError;
    case ECONNABORTED: return PyExc_ConnectionAbortedError;
    default: return PyExc_OSError;
  }
}

}  // namespace

PyObject* raise_open_error(const OpenError& error) {
  return raise_message(os_error_class(error.error_number), error.message);
}

namespace {

bool look_for_signals() {
  PyObject *type, *value, *traceback;
  PyErr_Fetch(&type, &value, &traceback);
  if (PyErr_CheckSignals() < 0) PyErr_Fetch(&kept.type, &kept.value, &kept.traceback);
  PyErr_Restore(type, value, traceback);
  return kept.type != nullptr;
}

}  // namespace

bool python_interrupt_pending() {
  if (kept.type) return true;
  if (!PyGILState_Check()) return check_without_gil(&look_for_signals);
  return look_for_signals();
}

void write_notice_to_sys_stdout(const std::string& line) {
  PyGILState_STATE gil = PyGILState_Ensure();
  PyObject *type, *value, *traceback;
  PyErr_Fetch(&type, &value, &traceback);
  PyObject* out = PySys_GetObject("stdout");  // borrowed
  if (out && out != Py_None) {
    std::string text = line + "\n";
    PyRef str(PyUnicode_DecodeUTF8(text.data(), Py_ssize_t(text.size()), "replace"));
    PyRef method(PyUnicode_FromString("write"));
    PyRef written(str && method ? PyObject_CallMethodOneArg(out, method.get(), str.get()) : nullptr);
    if (!written) PyErr_Clear();
  }
  PyErr_Restore(type, value, traceback);
  PyGILState_Release(gil);
}

PyObject* finish_entry(PyObject* result) {
  if (!kept.type) return result;
  Py_XDECREF(result);
  PyErr_Restore(kept.type, kept.value, kept.traceback);
  kept = KeptInterrupt();
  return nullptr;
}

std::string take_exception_display() {
  PyObject *type, *value, *traceback;
  PyErr_Fetch(&type, &value, &traceback);
  PyErr_NormalizeException(&type, &value, &traceback);
  // Ctrl-C inside a file object's method stops the whole operation.
  if (!kept.type && type && PyErr_GivenExceptionMatches(type, PyExc_KeyboardInterrupt)) {
    kept = {type, value, traceback};
    return "KeyboardInterrupt";
  }
  PyRef type_ref(type), value_ref(value), traceback_ref(traceback);
  std::string name = "Exception";
  if (type && PyType_Check(type)) {
    PyRef qualname(PyType_GetQualName(reinterpret_cast<PyTypeObject*>(type)));
    const char* text = qualname ? PyUnicode_AsUTF8(qualname.get()) : nullptr;
    if (text) name = text;
  }
  std::string detail = "<exception str() failed>";
  PyRef str(value ? PyObject_Str(value) : nullptr);
  const char* text = str ? PyUnicode_AsUTF8(str.get()) : nullptr;
  if (text) detail = text;
  PyErr_Clear();
  return name + ": " + detail;
}

bool ThreadConfinement::check(const char* type_path) const {
  if (PyThread_get_thread_ident() == owner) return true;
  PyErr_Format(PyExc_RuntimeError, "%s is unsendable, but sent to another thread", type_path);
  return false;
}

bool ThreadConfinement::may_release(const char* type_path) const {
  if (PyThread_get_thread_ident() == owner) return true;
  PyObject *type, *value, *traceback;
  PyErr_Fetch(&type, &value, &traceback);
  PyErr_Format(PyExc_RuntimeError, "%s is unsendable, but is being dropped on another thread", type_path);
  PyErr_WriteUnraisable(nullptr);
  PyErr_Restore(type, value, traceback);
  return false;
}

}  // namespace kubic::py
