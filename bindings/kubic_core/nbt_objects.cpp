#include "kubic_core/nbt_objects.h"

#include <array>
#include <string>

#include "support/py_ref.h"

namespace kubic::py {

namespace {

// Indexed by tag type; End (0) has no class.
std::array<PyObject*, 13> nbt_classes{};
constexpr const char* kClassNames[13] = {nullptr,  "Byte",     "Short", "Int",  "Long",     "Float",    "Double",
                                          "ByteArray", "String", "List",  "Compound", "IntArray", "LongArray"};

PyObject* construct(TagType type, PyObject* value) {
  PyRef plain(value);
  if (!plain) return nullptr;
  return PyObject_CallOneArg(nbt_classes[size_t(type)], plain.get());
}

template <typename T>
PyObject* int_list(const std::vector<T>& values) {
  PyRef list(PyList_New(Py_ssize_t(values.size())));
  if (!list) return nullptr;
  for (size_t i = 0; i < values.size(); ++i) {
    PyObject* item = PyLong_FromLongLong(values[i]);
    if (!item) return nullptr;
    PyList_SET_ITEM(list.get(), Py_ssize_t(i), item);
  }
  return list.release();
}

PyObject* list_value(const ListTag& list) {
  PyRef items(PyList_New(Py_ssize_t(list.items.size())));
  if (!items) return nullptr;
  for (size_t i = 0; i < list.items.size(); ++i) {
    PyObject* item = nbt_to_python(list.items[i]);
    if (!item) return nullptr;
    PyList_SET_ITEM(items.get(), Py_ssize_t(i), item);
  }
  PyRef element(PyLong_FromLong(long(list.element_type)));
  if (!element) return nullptr;
  return PyObject_CallFunctionObjArgs(nbt_classes[size_t(TagType::List)], items.get(), element.get(), nullptr);
}

PyObject* compound_value(const Compound& compound) {
  PyRef dict(PyDict_New());
  if (!dict) return nullptr;
  for (const CompoundEntry& entry : compound.entries()) {
    PyRef value(nbt_to_python(entry.value));
    PyRef key(PyUnicode_DecodeUTF8(entry.name.data(), Py_ssize_t(entry.name.size()), "replace"));
    if (!value || !key || PyDict_SetItem(dict.get(), key.get(), value.get()) < 0) return nullptr;
  }
  return construct(TagType::Compound, dict.release());
}

std::optional<std::string> text_of(PyObject* value) {
  Py_ssize_t length;
  const char* text = PyUnicode_AsUTF8AndSize(value, &length);
  if (!text) return std::nullopt;
  return std::string(text, size_t(length));
}

// The tag type a value's own class says, if it is one of ours.
std::optional<TagType> declared_type(PyObject* value) {
  for (size_t type = 1; type < nbt_classes.size(); ++type) {
    if (nbt_classes[type] && PyObject_TypeCheck(value, reinterpret_cast<PyTypeObject*>(nbt_classes[type]))) {
      return TagType(type);
    }
  }
  return std::nullopt;
}

template <typename T>
std::optional<Tag> int_array_from(PyObject* value) {
  PyRef items(PySequence_Fast(value, "an NBT array must be a sequence of integers"));
  if (!items) return std::nullopt;
  std::vector<T> out;
  for (Py_ssize_t i = 0; i < PySequence_Fast_GET_SIZE(items.get()); ++i) {
    long long v = PyLong_AsLongLong(PySequence_Fast_GET_ITEM(items.get(), i));
    if (v == -1 && PyErr_Occurred()) return std::nullopt;
    out.push_back(T(v));
  }
  return Tag{std::move(out)};
}

std::optional<Tag> list_from(PyObject* value, std::optional<TagType> element) {
  PyRef items(PySequence_Fast(value, "an NBT list must be a sequence"));
  if (!items) return std::nullopt;
  ListTag list{element.value_or(TagType::End), {}};
  for (Py_ssize_t i = 0; i < PySequence_Fast_GET_SIZE(items.get()); ++i) {
    auto item = nbt_from_python(PySequence_Fast_GET_ITEM(items.get(), i));
    if (!item) return prefix_exception("[" + std::to_string(i) + "]: "), std::nullopt;
    if (i == 0 && !element) list.element_type = item->type();
    if (item->type() != list.element_type) {
      PyErr_SetString(PyExc_TypeError, "an NBT list holds values of one tag type");
      return std::nullopt;
    }
    list.items.push_back(std::move(*item));
  }
  return Tag{std::move(list)};
}

std::optional<Tag> compound_from(PyObject* value) {
  Compound compound;
  PyObject *key, *item;
  Py_ssize_t position = 0;
  while (PyDict_Next(value, &position, &key, &item)) {
    if (!PyUnicode_Check(key)) {
      PyErr_SetString(PyExc_TypeError, "NBT compound keys must be str");
      return std::nullopt;
    }
    auto name = text_of(key);
    if (!name) return std::nullopt;
    auto tag = nbt_from_python(item);
    if (!tag) return prefix_exception("'" + *name + "': "), std::nullopt;
    compound.put(std::move(*name), std::move(*tag));
  }
  return Tag{std::move(compound)};
}

template <typename T>
std::optional<Tag> number_from(PyObject* value) {
  if constexpr (std::is_floating_point_v<T>) {
    double v = PyFloat_AsDouble(value);
    if (v == -1.0 && PyErr_Occurred()) return std::nullopt;
    return Tag{T(v)};
  } else {
    long long v = PyLong_AsLongLong(value);
    if (v == -1 && PyErr_Occurred()) return std::nullopt;
    return Tag{T(v)};
  }
}

std::optional<Tag> typed_from(TagType type, PyObject* value) {
  switch (type) {
    case TagType::Byte: return number_from<int8_t>(value);
    case TagType::Short: return number_from<int16_t>(value);
    case TagType::Int: return number_from<int32_t>(value);
    case TagType::Long: return number_from<int64_t>(value);
    case TagType::Float: return number_from<float>(value);
    case TagType::Double: return number_from<double>(value);
    case TagType::String: {
      auto text = text_of(value);
      return text ? std::optional<Tag>(Tag{std::move(*text)}) : std::nullopt;
    }
    case TagType::ByteArray: return int_array_from<int8_t>(value);
    case TagType::IntArray: return int_array_from<int32_t>(value);
    case TagType::LongArray: return int_array_from<int64_t>(value);
    case TagType::List: {
      PyRef element(PyObject_GetAttrString(value, "element_type"));
      if (!element) return std::nullopt;
      std::optional<TagType> declared;
      if (element.get() != Py_None) declared = TagType(PyLong_AsLong(element.get()));
      return list_from(value, declared);
    }
    case TagType::Compound: return compound_from(value);
    default: break;
  }
  PyErr_SetString(PyExc_TypeError, "not an NBT value");
  return std::nullopt;
}

}  // namespace

bool register_nbt_classes(PyObject* classes) {
  for (size_t type = 1; type < nbt_classes.size(); ++type) {
    PyObject* cls = PyDict_GetItemString(classes, kClassNames[type]);  // borrowed
    if (!cls || !PyType_Check(cls)) {
      PyErr_Format(PyExc_TypeError, "kubic.nbt.%s is missing", kClassNames[type]);
      return false;
    }
    Py_INCREF(cls);
    Py_XSETREF(nbt_classes[type], cls);
  }
  return true;
}

PyObject* nbt_to_python(const Tag& tag) {
  switch (tag.type()) {
    case TagType::Byte: return construct(tag.type(), PyLong_FromLong(*tag.as<int8_t>()));
    case TagType::Short: return construct(tag.type(), PyLong_FromLong(*tag.as<int16_t>()));
    case TagType::Int: return construct(tag.type(), PyLong_FromLong(*tag.as<int32_t>()));
    case TagType::Long: return construct(tag.type(), PyLong_FromLongLong(*tag.as<int64_t>()));
    case TagType::Float: return construct(tag.type(), PyFloat_FromDouble(*tag.as<float>()));
    case TagType::Double: return construct(tag.type(), PyFloat_FromDouble(*tag.as<double>()));
    case TagType::String: {
      const std::string& text = *tag.as<std::string>();
      return construct(tag.type(), PyUnicode_DecodeUTF8(text.data(), Py_ssize_t(text.size()), "replace"));
    }
    case TagType::ByteArray: return construct(tag.type(), int_list(*tag.as<std::vector<int8_t>>()));
    case TagType::IntArray: return construct(tag.type(), int_list(*tag.as<std::vector<int32_t>>()));
    case TagType::LongArray: return construct(tag.type(), int_list(*tag.as<std::vector<int64_t>>()));
    case TagType::List: return list_value(*tag.as<ListTag>());
    case TagType::Compound: return compound_value(*tag.as<Compound>());
    case TagType::End: break;
  }
  PyErr_SetString(PyExc_ValueError, "an End tag has no value");
  return nullptr;
}

// Puts `prefix` before the message of the exception being raised, keeping
// its type: the path of a value inside nested compounds and lists.
void prefix_exception(const std::string& prefix) {
  PyObject *type, *value, *traceback;
  PyErr_Fetch(&type, &value, &traceback);
  PyErr_NormalizeException(&type, &value, &traceback);
  PyRef text(value ? PyObject_Str(value) : nullptr);
  const char* message = text ? PyUnicode_AsUTF8(text.get()) : nullptr;
  if (message) {
    PyErr_Format(type, "%s%s", prefix.c_str(), message);
  } else {
    PyErr_Clear();
    PyErr_Restore(Py_NewRef(type), Py_XNewRef(value), Py_XNewRef(traceback));
  }
  Py_XDECREF(type);
  Py_XDECREF(value);
  Py_XDECREF(traceback);
}

std::optional<Tag> nbt_from_python(PyObject* value) {
  if (auto type = declared_type(value)) return typed_from(*type, value);
  if (PyBool_Check(value)) return Tag{int8_t(value == Py_True)};
  if (PyLong_Check(value)) {
    long long v = PyLong_AsLongLong(value);
    if (v == -1 && PyErr_Occurred()) return std::nullopt;
    if (v >= INT32_MIN && v <= INT32_MAX) return Tag{int32_t(v)};
    return Tag{int64_t(v)};
  }
  if (PyFloat_Check(value)) return typed_from(TagType::Double, value);
  if (PyUnicode_Check(value)) return typed_from(TagType::String, value);
  if (PyBytes_Check(value)) {
    const auto* data = reinterpret_cast<const int8_t*>(PyBytes_AS_STRING(value));
    return Tag{std::vector<int8_t>(data, data + PyBytes_GET_SIZE(value))};
  }
  if (PyDict_Check(value)) return compound_from(value);
  if (PyList_Check(value) || PyTuple_Check(value)) return list_from(value, std::nullopt);
  PyErr_Format(PyExc_TypeError, "cannot store a %s in NBT", Py_TYPE(value)->tp_name);
  return std::nullopt;
}

}  // namespace kubic::py
