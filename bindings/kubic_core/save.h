#pragma once

#include <Python.h>

namespace kubic::py {

// _core.save(target, format, palette, blocks, origin, block_entities,
// entities, data_version, metadata, sponge_version): writes a schematic
// through the conversion engine's writers; a path is replaced only once the
// whole file is written.
PyObject* save_schematic(PyObject* module, PyObject* args);

}  // namespace kubic::py
