#include "kubic_core/readers.h"

#include "support/errors.h"
#include "io/chains.h"
#include "formats/any_reader.h"
#include "formats/kub/kub_reader.h"
#include "formats/litematica/litematica_reader.h"
#include "formats/mcedit/mcedit_reader.h"
#include "formats/structure/structure_reader.h"
#include "formats/sponge/sponge_reader.h"

namespace kubic::py {

std::unique_ptr<SchematicInputStream> reader_for(const std::string& format, std::unique_ptr<ByteSource> source,
                                                 const std::optional<std::string>& region) {
  if (format == "kub") return std::make_unique<KUBSchematicInputStream>(make_decompressing_chain(std::move(source)));
  DocumentInput input = make_document_chain(std::move(source));
  if (format == "sponge") return std::make_unique<SpongeSchematicInputStream>(std::move(input.source));
  if (format == "structure") return std::make_unique<StructureSchematicInputStream>(std::move(input.source));
  if (format == "litematica") {
    auto reader = std::make_unique<LitematicaSchematicInputStream>(std::move(input.source));
    if (region) reader->select_region(*region);
    return reader;
  }
  if (format == "mcedit") return std::make_unique<MCEditSchematicInputStream>(std::move(input.source));
  return AnySchematicInputStream::new_from_known(std::move(input.source), input.gzip);
}

const char* format_of(const SchematicInputStream* reader) {
  if (auto* any = dynamic_cast<const AnySchematicInputStream*>(reader)) reader = any->found();
  if (dynamic_cast<const SpongeSchematicInputStream*>(reader)) return "sponge";
  if (dynamic_cast<const StructureSchematicInputStream*>(reader)) return "structure";
  if (dynamic_cast<const MCEditSchematicInputStream*>(reader)) return "mcedit";
  if (dynamic_cast<const KUBSchematicInputStream*>(reader)) return "kub";
  if (dynamic_cast<const LitematicaSchematicInputStream*>(reader)) return "litematica";
  return nullptr;
}

PyObject* raise_read_error(const SchematicInputStream* reader, const Status& status) {
  auto* any = dynamic_cast<const AnySchematicInputStream*>(reader);
  if (!any || !any->furthest_failure() || status.message() != "No matching format found") return raise_status(status);
  const std::string& cause = any->furthest_failure()->status.message();
  auto text = [](const std::string& t) { return PyUnicode_DecodeUTF8(t.data(), Py_ssize_t(t.size()), "replace"); };
  PyObject* args = Py_BuildValue("(NNK)", text(status.message()), text(cause),
                                 (unsigned long long)any->furthest_failure()->bytes_read);
  if (args) PyErr_SetObject(PyExc_RuntimeError, args);
  Py_XDECREF(args);
  return nullptr;
}

std::string stored_text(const BlockState& state) {
  std::string text = state.name();
  const auto& props = state.properties();
  for (size_t i = 0; i < props.size(); ++i) text += (i ? "," : "[") + props[i].first + "=" + props[i].second;
  return props.empty() ? text : text + "]";
}

Result<StateRef> state_of_text(std::string_view text) {
  auto parsed = BlockState::from_string(text);
  if (parsed.ok()) return parsed;
  const size_t open = text.find('[');
  const std::string_view name = text.substr(0, open);
  const size_t colon = name.find(':');
  if (colon == 0 || colon == std::string_view::npos || colon + 1 == name.size()) return parsed.status();
  std::vector<BlockState::Property> properties;
  if (open != std::string_view::npos) {
    if (text.back() != ']') return parsed.status();
    std::string_view inner = text.substr(open + 1, text.size() - open - 2);
    while (!inner.empty()) {
      const size_t comma = inner.find(',');
      const std::string_view pair = inner.substr(0, comma);
      const size_t equals = pair.find('=');
      if (equals == 0 || equals == std::string_view::npos) return parsed.status();
      assign_property(properties, std::string(pair.substr(0, equals)), std::string(pair.substr(equals + 1)));
      inner = comma == std::string_view::npos ? std::string_view() : inner.substr(comma + 1);
    }
  }
  return BlockState::create(std::string(name), std::move(properties));
}

}  // namespace kubic::py

namespace kubic::py {

PyObject* palette_texts(const std::vector<StateRef>& palette) {
  PyObject* names = PyList_New(Py_ssize_t(palette.size()));
  for (size_t i = 0; names && i < palette.size(); ++i) {
    std::string text = stored_text(*palette[i]);
    PyObject* item = PyUnicode_DecodeUTF8(text.data(), Py_ssize_t(text.size()), "replace");
    if (!item) {
      Py_DECREF(names);
      return nullptr;
    }
    PyList_SET_ITEM(names, Py_ssize_t(i), item);
  }
  return names;
}

}  // namespace kubic::py
