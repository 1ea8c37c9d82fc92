#include "kubic_core/versions.h"

#include <string>
#include <vector>

#include "blocks/game_versions.h"
#include "blocks/state_text.h"
#include "blocks/version_conversion.h"
#include "blocks/version_nbt.h"
#include "kubic_core/nbt_objects.h"
#include "kubic_core/states.h"
#include "support/errors.h"
#include "support/py_ref.h"

namespace kubic::py {

namespace {

PyObject* text_object(std::string_view text) {
  return PyUnicode_FromStringAndSize(text.data(), Py_ssize_t(text.size()));
}

const char* outcome_name(StateOutcome outcome) {
  switch (outcome) {
    case StateOutcome::kSame: return "same";
    case StateOutcome::kChanged: return "changed";
    case StateOutcome::kNoEquivalent: return "none";
    case StateOutcome::kUnknown: return "unknown";
  }
  return "unknown";
}

// The block tables of two DataVersions, or a ValueError.
bool tables_of(int from, int to, int& from_table, int& to_table) {
  for (const int version : {from, to}) {
    if (!block_table_of(version)) {
      raise_message(PyExc_ValueError, parse_game_version(std::to_string(version)).message());
      return false;
    }
  }
  from_table = *block_table_of(from);
  to_table = *block_table_of(to);
  return true;
}

// Each compound of `list` through `convert`, into a new list.
template <typename Convert>
PyObject* converted_list(PyObject* list, const char* what, Convert convert) {
  PyRef sequence(PySequence_Fast(list, "expected a list of compounds"));
  if (!sequence) return nullptr;
  const Py_ssize_t count = PySequence_Fast_GET_SIZE(sequence.get());
  PyRef out(PyList_New(count));
  if (!out) return nullptr;
  for (Py_ssize_t i = 0; i < count; ++i) {
    auto tag = nbt_from_python(PySequence_Fast_GET_ITEM(sequence.get(), i));
    Compound* data = tag ? std::get_if<Compound>(&tag->value) : nullptr;
    if (!data) {
      if (!PyErr_Occurred()) PyErr_SetString(PyExc_TypeError, "expected a compound");
      prefix_exception(std::string(what) + " " + std::to_string(i) + ": ");
      return nullptr;
    }
    convert(*data);
    PyObject* object = nbt_to_python(*tag);
    if (!object) return nullptr;
    PyList_SET_ITEM(out.get(), i, object);
  }
  return out.release();
}

}  // namespace

PyObject* game_version(PyObject*, PyObject* text) {
  Py_ssize_t length;
  const char* chars = PyUnicode_AsUTF8AndSize(text, &length);
  if (!chars) return nullptr;
  const auto version = parse_game_version(std::string_view(chars, size_t(length)));
  if (!version.ok()) return raise_message(PyExc_ValueError, version.message());
  return PyLong_FromLong(*version);
}

PyObject* convert_states(PyObject*, PyObject* args) {
  PyObject* texts;
  int from, to, from_table, to_table;
  if (!PyArg_ParseTuple(args, "Oii:convert_states", &texts, &from, &to)) return nullptr;
  if (!tables_of(from, to, from_table, to_table)) return nullptr;
  const auto states = palette_states(texts);
  if (!states) return nullptr;
  const Py_ssize_t count = Py_ssize_t(states->size());
  PyRef converted(PyList_New(count)), outcomes(PyList_New(count));
  if (!converted || !outcomes) return nullptr;
  for (Py_ssize_t i = 0; i < count; ++i) {
    const ConvertedState result = convert_state((*states)[size_t(i)], from_table, to_table);
    PyObject* object = text_object(stored_text(*result.state));
    if (!object) return nullptr;
    PyList_SET_ITEM(converted.get(), i, object);
    PyList_SET_ITEM(outcomes.get(), i, PyUnicode_FromString(outcome_name(result.outcome)));
  }
  return Py_BuildValue("(OO)", converted.get(), outcomes.get());
}

PyObject* convert_nbt(PyObject*, PyObject* args) {
  PyObject *block_entities, *entities;
  int from, to, from_table, to_table;
  if (!PyArg_ParseTuple(args, "OOii:convert_nbt", &block_entities, &entities, &from, &to)) return nullptr;
  if (!tables_of(from, to, from_table, to_table)) return nullptr;
  VersionNotes notes;
  PyRef converted_block_entities(converted_list(block_entities, "block entity",
                                                [&](Compound& data) { convert_block_entity(data, from, to, notes); }));
  if (!converted_block_entities) return nullptr;
  PyRef converted_entities(
      converted_list(entities, "entity", [&](Compound& data) { convert_entity(data, from, to, notes); }));
  if (!converted_entities) return nullptr;
  PyRef counts(PyDict_New());
  if (!counts) return nullptr;
  for (const auto& [what, count] : notes) {
    PyRef key(text_object(what)), value(PyLong_FromUnsignedLongLong(count));
    if (!key || !value || PyDict_SetItem(counts.get(), key.get(), value.get()) < 0) return nullptr;
  }
  return Py_BuildValue("(OOO)", converted_block_entities.get(), converted_entities.get(), counts.get());
}

}  // namespace kubic::py
