#pragma once

#include <Python.h>

#include <string>

namespace kubic::py {

// _core.load(source, format, region): reads a whole schematic and hands
// back (format, size, origin, palette, blocks, block_entities, entities,
// data_version, metadata, format_version, notices): blocks a uint16 array
// of palette indices shaped by size, indexed [x, y, z]; positions relative
// to the box; unlisted structure positions are minecraft:structure_void;
// notices the legacy conversions' lines, one text.
PyObject* load_schematic(PyObject* module, PyObject* args);

// The module's notice sink: a load collects the notices of its own thread
// into its result; other notices go to sys.stdout.
void collect_notice(const std::string& line);

}  // namespace kubic::py
