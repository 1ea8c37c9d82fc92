#include "kubic_core/core_results.h"

#include "blocks/state_text.h"
#include "support/errors.h"

namespace kubic::py {

namespace {

const char* kind_name(ErrorKind kind) {
  switch (kind) {
    case ErrorKind::Unrecognised: return "unrecognised";
    case ErrorKind::Io: return "io";
    case ErrorKind::Missing: return "missing";
    case ErrorKind::Unwritable: return "unwritable";
    case ErrorKind::Corrupt:
    case ErrorKind::TooLarge: break;
  }
  return "corrupt";
}

PyObject* text_of(const std::string& text) {
  return PyUnicode_DecodeUTF8(text.data(), Py_ssize_t(text.size()), "replace");
}

}  // namespace

PyObject* raise_core_error(const Status& status) {
  if (status.kind() == ErrorKind::TooLarge) return raise_message(PyExc_MemoryError, status.message());
  PyObject* cause = status.cause() ? text_of(status.cause()->message()) : Py_NewRef(Py_None);
  PyObject* path = status.path().empty() ? Py_NewRef(Py_None) : text_of(status.path());
  PyObject* args = Py_BuildValue("(NsNiN)", text_of(status.message()), kind_name(status.kind()), cause,
                                 status.error_number(), path);
  if (args) PyErr_SetObject(PyExc_RuntimeError, args);
  Py_XDECREF(args);
  return nullptr;
}

PyObject* palette_texts(const std::vector<StateRef>& palette) {
  PyObject* names = PyList_New(Py_ssize_t(palette.size()));
  for (size_t i = 0; names && i < palette.size(); ++i) {
    std::string text = stored_text(*palette[i]);
    PyObject* item = PyUnicode_DecodeUTF8(text.data(), Py_ssize_t(text.size()), "replace");
    if (!item) {
      Py_DECREF(names);
      return nullptr;
    }
    PyList_SET_ITEM(names, Py_ssize_t(i), item);
  }
  return names;
}

}  // namespace kubic::py
