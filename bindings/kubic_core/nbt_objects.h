#pragma once

#include <Python.h>

#include <optional>

#include "nbt/tag.h"

namespace kubic::py {

// NBT values as the kubic.nbt classes (Byte, Short, Int, ..., List,
// Compound: subclasses of int, float, str, list and dict that keep their
// tag type), registered once by the package.
bool register_nbt_classes(PyObject* classes);  // a dict by class name

// A new reference to the Python value of a tag, or null with an exception.
PyObject* nbt_to_python(const Tag& tag);

// The tag of a Python value: kubic.nbt classes keep their type; plain
// values take the natural one (int: Int, or Long past 32 bits; float:
// Double; str: String; bytes: ByteArray; dict: Compound; list or tuple:
// List of its first item's type). Nothing, with TypeError, otherwise.
std::optional<Tag> nbt_from_python(PyObject* value);
// Puts `prefix` before the message of the exception being raised, keeping
// its type.
void prefix_exception(const std::string& prefix);

}  // namespace kubic::py
