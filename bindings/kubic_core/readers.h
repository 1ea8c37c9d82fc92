#pragma once

#include <Python.h>

#include <memory>
#include <optional>
#include <string>

#include "io/byte_stream.h"
#include "stream/schematic_stream.h"

namespace kubic::py {

// The reader for a format name of the package ("auto", "kub", "sponge",
// "structure", "mcedit", "litematica"; for "litematica", only `region` when
// named); NBT formats also read uncompressed documents.
std::unique_ptr<SchematicInputStream> reader_for(const std::string& format, std::unique_ptr<ByteSource> source,
                                                 const std::optional<std::string>& region = std::nullopt);

// The package's name of the format a reader reads, or null.
const char* format_of(const SchematicInputStream* reader);

// Raises RuntimeError for a reader's failure; when detection found no
// format, its arguments are (message, the furthest candidate's message, how
// many bytes that candidate had read), so that the API can name the cause.
PyObject* raise_read_error(const SchematicInputStream* reader, const Status& status);

// A state as text with its properties in stored order.
std::string stored_text(const BlockState& state);

// The state of a palette text: parsed by the state syntax, or else, for
// names the syntax refuses but files hold (1.12-era modded names with
// upper-case letters), taken literally as stored_text() wrote it.
Result<StateRef> state_of_text(std::string_view text);

// A new list of the states' stored texts, or null with an exception.
PyObject* palette_texts(const std::vector<StateRef>& palette);

}  // namespace kubic::py
