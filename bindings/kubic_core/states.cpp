#include "kubic_core/states.h"

#include <algorithm>
#include <string>
#include <unordered_map>

#include "blocks/canonical_state.h"
#include "blocks/game_versions.h"
#include "blocks/state_checks.h"
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

std::optional<std::vector<StateRef>> palette_states(PyObject* texts) {
  PyRef items(PySequence_Fast(texts, "the palette must be a sequence of str"));
  if (!items) return std::nullopt;
  std::vector<StateRef> palette;
  for (Py_ssize_t i = 0; i < PySequence_Fast_GET_SIZE(items.get()); ++i) {
    Py_ssize_t length;
    const char* text = PyUnicode_AsUTF8AndSize(PySequence_Fast_GET_ITEM(items.get(), i), &length);
    if (!text) return std::nullopt;
    auto state = state_of_text(std::string_view(text, size_t(length)));
    if (!state.ok()) {
      raise_message(PyExc_ValueError, "palette entry " + std::to_string(i) + ": " + state.message());
      return std::nullopt;
    }
    palette.push_back(std::move(*state));
  }
  return palette;
}

std::optional<int> block_table_of_schematic(PyObject* data_version) {
  if (data_version == Py_None) return block_table_for_states(std::nullopt);
  const long version = PyLong_AsLong(data_version);
  if (version == -1 && PyErr_Occurred()) return std::nullopt;
  return block_table_for_states(int32_t(std::clamp<long>(version, INT32_MIN, INT32_MAX)));
}

namespace {

std::optional<std::string_view> text_of(PyObject* object) {
  Py_ssize_t length;
  const char* text = PyUnicode_AsUTF8AndSize(object, &length);
  if (!text) return std::nullopt;
  return std::string_view(text, size_t(length));
}

PyObject* text_object(const std::string& text) {
  return PyUnicode_FromStringAndSize(text.data(), Py_ssize_t(text.size()));
}

}  // namespace

PyObject* edit_state(PyObject*, PyObject* args) {
  PyObject *text, *data_version;
  if (!PyArg_ParseTuple(args, "UO:edit_state", &text, &data_version)) return nullptr;
  const auto table = block_table_of_schematic(data_version);
  const auto chars = text_of(text);
  if (!table || !chars) return nullptr;
  auto state = parse_canonical_state(*chars);
  if (!state.ok()) return raise_message(PyExc_ValueError, state.message());
  if (*table >= 0) {
    const Status checked = check_state(**state, *table);
    if (!checked.ok()) return raise_message(PyExc_ValueError, checked.message());
  }
  return text_object(stored_text(**state));
}

PyObject* block_name(PyObject*, PyObject* args) {
  PyObject *name, *data_version;
  if (!PyArg_ParseTuple(args, "UO:block_name", &name, &data_version)) return nullptr;
  const auto table = block_table_of_schematic(data_version);
  const auto chars = text_of(name);
  if (!table || !chars) return nullptr;
  auto named = parse_canonical_state(*chars);
  if (!named.ok()) return raise_message(PyExc_ValueError, named.message());
  if (!(*named)->properties().empty()) {
    return raise_message(PyExc_ValueError, "'" + std::string(*chars) + "' is a state, not a block name");
  }
  if (*table >= 0) {
    const Status checked = check_block_name((*named)->name(), *table);
    if (!checked.ok()) return raise_message(PyExc_ValueError, checked.message());
  }
  return text_object((*named)->name());
}

PyObject* states_as_block(PyObject*, PyObject* args) {
  PyObject *texts, *name, *data_version;
  if (!PyArg_ParseTuple(args, "OUO:states_as_block", &texts, &name, &data_version)) return nullptr;
  const auto table = block_table_of_schematic(data_version);
  const auto block = text_of(name);
  if (!table || !block) return nullptr;
  auto named = parse_canonical_state(*block);
  if (!named.ok()) return raise_message(PyExc_ValueError, named.message());
  const std::string& block_name = (*named)->name();
  if (*table >= 0) {
    const Status checked = check_block_name(block_name, *table);
    if (!checked.ok()) return raise_message(PyExc_ValueError, checked.message());
  }
  PyRef sequence(PySequence_Fast(texts, "expected a list of states"));
  if (!sequence) return nullptr;
  PyRef out(PyList_New(PySequence_Fast_GET_SIZE(sequence.get())));
  if (!out) return nullptr;
  for (Py_ssize_t i = 0; i < PySequence_Fast_GET_SIZE(sequence.get()); ++i) {
    const auto chars = text_of(PySequence_Fast_GET_ITEM(sequence.get(), i));
    if (!chars) return nullptr;
    auto state = BlockState::from_string(*chars);
    if (!state.ok()) return raise_message(PyExc_ValueError, state.message());
    PyObject* converted = text_object(stored_text(*state_as_block(**state, block_name, std::max(*table, 0))));
    if (!converted) return nullptr;
    PyList_SET_ITEM(out.get(), i, converted);
  }
  return out.release();
}

}  // namespace kubic::py
