#pragma once

#include <Python.h>

namespace kubic::py {

// _core.load(source, format): reads a whole schematic and hands back
// (format, size, origin, palette, blocks, block_entities, entities,
// data_version, metadata): blocks a uint16 array of palette indices shaped
// by size, indexed [x, y, z]; positions relative to the box; unlisted
// structure positions are minecraft:structure_void.
PyObject* load_schematic(PyObject* module, PyObject* args);

}  // namespace kubic::py
