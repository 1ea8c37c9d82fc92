#include "kubic_core/materials.h"

#include <algorithm>
#include <string>
#include <vector>

#include "blocks/block_items.h"
#include "kubic_core/nbt_objects.h"
#include "kubic_core/states.h"
#include "support/errors.h"
#include "support/py_ref.h"

namespace kubic::py {

namespace {

// Each compound of a sequence through `add`.
bool add_compounds(PyObject* sequence_object, ItemCounts& counts) {
  PyRef sequence(PySequence_Fast(sequence_object, "expected a list of compounds"));
  if (!sequence) return false;
  for (Py_ssize_t i = 0; i < PySequence_Fast_GET_SIZE(sequence.get()); ++i) {
    auto tag = nbt_from_python(PySequence_Fast_GET_ITEM(sequence.get(), i));
    if (!tag) return false;
    if (const Compound* data = tag->as<Compound>()) add_held_items(*data, counts);
  }
  return true;
}

}  // namespace

PyObject* materials(PyObject*, PyObject* args) {
  PyObject *palette, *counts_object, *block_entities, *entities;
  if (!PyArg_ParseTuple(args, "OOOO:materials", &palette, &counts_object, &block_entities, &entities)) {
    return nullptr;
  }
  const auto states = palette_states(palette);
  PyRef numbers(PySequence_Fast(counts_object, "counts must be a list"));
  if (!states || !numbers) return nullptr;
  if (Py_ssize_t(states->size()) != PySequence_Fast_GET_SIZE(numbers.get())) {
    return raise_message(PyExc_ValueError, "a count for every state");
  }
  ItemCounts counts;
  for (size_t i = 0; i < states->size(); ++i) {
    const unsigned long long blocks = PyLong_AsUnsignedLongLong(PySequence_Fast_GET_ITEM(numbers.get(), Py_ssize_t(i)));
    if (blocks == (unsigned long long)-1 && PyErr_Occurred()) return nullptr;
    if (blocks > 0) add_items_of_block(*(*states)[i], blocks, counts);
  }
  if (!add_compounds(block_entities, counts) || !add_compounds(entities, counts)) return nullptr;
  std::vector<std::pair<std::string, uint64_t>> rows(counts.begin(), counts.end());
  std::stable_sort(rows.begin(), rows.end(), [](const auto& a, const auto& b) { return a.second > b.second; });
  PyRef list(PyList_New(Py_ssize_t(rows.size())));
  if (!list) return nullptr;
  for (size_t i = 0; i < rows.size(); ++i) {
    PyRef item(PyUnicode_FromStringAndSize(rows[i].first.data(), Py_ssize_t(rows[i].first.size())));
    PyObject* row = item ? Py_BuildValue("(OK)", item.get(), (unsigned long long)rows[i].second) : nullptr;
    if (!row) return nullptr;
    PyList_SET_ITEM(list.get(), Py_ssize_t(i), row);
  }
  return list.release();
}

PyObject* item_stack_size(PyObject*, PyObject* item) {
  Py_ssize_t length;
  const char* text = PyUnicode_AsUTF8AndSize(item, &length);
  if (!text) return nullptr;
  return PyLong_FromLong(kubic::item_stack_size(std::string_view(text, size_t(length))));
}

}  // namespace kubic::py
