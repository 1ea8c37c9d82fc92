#include "kubic_core/states.h"

#include <string>
#include <unordered_map>

#include "blocks/canonical_state.h"
#include "blocks/state_text.h"
#include "support/errors.h"
#include "support/py_ref.h"

namespace kubic::py {

PyObject* canonical_states(PyObject*, PyObject* texts) {
  PyRef sequence(PySequence_Fast(texts, "the palette must be a list of texts"));
  if (!sequence) return nullptr;
  const Py_ssize_t count = PySequence_Fast_GET_SIZE(sequence.get());
  PyRef merged(PyList_New(0)), renumbering(PyList_New(count));
  if (!merged || !renumbering) return nullptr;
  std::unordered_map<std::string, Py_ssize_t> index_of;
  bool moved = false;
  for (Py_ssize_t i = 0; i < count; ++i) {
    PyObject* item = PySequence_Fast_GET_ITEM(sequence.get(), i);
    if (!PyUnicode_Check(item)) {
      return raise_message(PyExc_TypeError, std::string("a block state is a str, not ") + Py_TYPE(item)->tp_name);
    }
    Py_ssize_t length;
    const char* text = PyUnicode_AsUTF8AndSize(item, &length);
    if (!text) return nullptr;
    auto state = parse_canonical_state(std::string_view(text, size_t(length)));
    if (!state.ok()) return raise_message(PyExc_ValueError, state.message());
    std::string canonical = stored_text(**state);
    auto [found, added] = index_of.emplace(canonical, PyList_GET_SIZE(merged.get()));
    if (added) {
      PyRef object(PyUnicode_FromStringAndSize(canonical.data(), Py_ssize_t(canonical.size())));
      if (!object || PyList_Append(merged.get(), object.get()) < 0) return nullptr;
    }
    moved |= found->second != i;
    PyList_SET_ITEM(renumbering.get(), i, PyLong_FromSsize_t(found->second));
  }
  return Py_BuildValue("(OO)", merged.get(), moved ? renumbering.get() : Py_None);
}

}  // namespace kubic::py
