#include "readers.h"

#include "errors.h"
#include "io/chains.h"
#include "stream/any_reader.h"
#include "stream/kub_reader.h"
#include "stream/litematica_reader.h"
#include "stream/mcedit_reader.h"
#include "stream/mojang_reader.h"
#include "stream/sponge_reader.h"

namespace kubic::py {

std::unique_ptr<SchematicInputStream> reader_for(const std::string& format, std::unique_ptr<ByteSource> source,
                                                 const std::optional<std::string>& region) {
  if (format == "kub") return std::make_unique<KUBSchematicInputStream>(make_decompressing_chain(std::move(source)));
  DocumentInput input = make_document_chain(std::move(source));
  if (format == "sponge") return std::make_unique<SpongeSchematicInputStream>(std::move(input.source));
  if (format == "structure") return std::make_unique<MojangSchematicInputStream>(std::move(input.source));
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
  if (dynamic_cast<const MojangSchematicInputStream*>(reader)) return "structure";
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
