#include "kubic_core/readers.h"

#include "support/errors.h"

namespace kubic::py {

namespace {

const char* kind_name(ErrorKind kind) {
  switch (kind) {
    case ErrorKind::Unrecognised: return "unrecognised";
    case ErrorKind::Io: return "io";
    case ErrorKind::Missing: return "missing";
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

std::string stored_text(const BlockState& state) {
  std::string text = state.name();
  const auto& props = state.properties();
  for (size_t i = 0; i < props.size(); ++i) text += (i ? "," : "[") + props[i].first + "=" + props[i].second;
  return props.empty() ? text : text + "]";
}

Result<StateRef> state_of_text(std::string_view text) {
  auto parsed = BlockState::from_string(text);
  if (parsed.ok()) return parsed;
  const size_t open = text.find('[');
  const std::string_view name = text.substr(0, open);
  const size_t colon = name.find(':');
  if (colon == 0 || colon == std::string_view::npos || colon + 1 == name.size()) return parsed.status();
  std::vector<BlockState::Property> properties;
  if (open != std::string_view::npos) {
    if (text.back() != ']') return parsed.status();
    std::string_view inner = text.substr(open + 1, text.size() - open - 2);
    while (!inner.empty()) {
      const size_t comma = inner.find(',');
      const std::string_view pair = inner.substr(0, comma);
      const size_t equals = pair.find('=');
      if (equals == 0 || equals == std::string_view::npos) return parsed.status();
      assign_property(properties, std::string(pair.substr(0, equals)), std::string(pair.substr(equals + 1)));
      inner = comma == std::string_view::npos ? std::string_view() : inner.substr(comma + 1);
    }
  }
  return BlockState::create(std::string(name), std::move(properties));
}

}  // namespace kubic::py

namespace kubic::py {

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
