#pragma once

#include <Python.h>

namespace kubic::py {

// A map is given as (from, sign): two triples, as kubic.schematic builds it.

// _core.transform_blocks(blocks, palette, map, data_version): the uint16 or
// uint32 array and its palette after the map, as (blocks, palette,
// cannot_show): the old palette indices of states kept as they were because
// their block cannot show the result. One pass over the cells, GIL released.
PyObject* transform_blocks(PyObject* module, PyObject* args);

// _core.map_cells(map, size, cells): where cells of a box of `size` land.
PyObject* map_cells(PyObject* module, PyObject* args);

// _core.transform_entities(map, size, entities): (position, compound) pairs
// turned, as (entities, not_turned): new pairs, and how many could not show
// the turn (moved only).
PyObject* transform_entities(PyObject* module, PyObject* args);

// _core.axis_map(kind, axis, turns): the (from, sign) of "turn" or "flip".
PyObject* axis_map(PyObject* module, PyObject* args);

}  // namespace kubic::py
