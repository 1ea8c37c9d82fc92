#include "formats/format_table.h"

#include <algorithm>
#include <cctype>

#include "formats/any_reader.h"
#include "formats/kub/kub_reader.h"
#include "formats/kub/kub_writer.h"
#include "formats/litematica/litematica_reader.h"
#include "formats/litematica/litematica_writer.h"
#include "formats/mcedit/mcedit_reader.h"
#include "formats/sponge/sponge_reader.h"
#include "formats/sponge/sponge_writer.h"
#include "formats/structure/structure_reader.h"
#include "formats/structure/structure_writer.h"
#include "io/chains.h"

namespace kubic {

namespace {

// Sponge and MCEdit schematics share their root tags: neither gives up at
// the other's, and they race instead.
const std::vector<std::string_view> kSchematicRootTags = {
    "Schematic", "Width", "Height", "Length", "BlockData", "Palette", "Blocks", "Data", "Materials", "DataVersion"};

RootTags foreign_root_tags(SchematicFormat format);

const std::vector<FormatEntry>& entries() {
  static const std::vector<FormatEntry> table = {
      {SchematicFormat::Kub, "kub", "kub", {}, {".kub"}, "KUB", 4, true, false, {}, ArrayProbe::Never,
       [](std::unique_ptr<ByteSource> document, const ReaderOptions&) -> std::unique_ptr<SchematicInputStream> {
         return std::make_unique<KUBSchematicInputStream>(std::move(document));
       },
       [](std::unique_ptr<ByteSink> sink, const std::optional<Boundary>& box,
          const WriterOptions&) -> std::unique_ptr<SchematicOutputStream> {
         return std::make_unique<KUBSchematicOutputStream>(std::move(sink), AxisOrder::XYZ, box.value_or(Boundary()));
       },
       false},
      {SchematicFormat::Sponge, "sponge", "Sponge", {"schem"}, {".schem"}, "SPONGE", 0, false, false,
       kSchematicRootTags, ArrayProbe::Always,
       [](std::unique_ptr<ByteSource> document, const ReaderOptions&) -> std::unique_ptr<SchematicInputStream> {
         return std::make_unique<SpongeSchematicInputStream>(std::move(document),
                                                             foreign_root_tags(SchematicFormat::Sponge));
       },
       [](std::unique_ptr<ByteSink> sink, const std::optional<Boundary>& box,
          const WriterOptions& options) -> std::unique_ptr<SchematicOutputStream> {
         return std::make_unique<SpongeSchematicOutputStream>(std::move(sink), box.value_or(Boundary()),
                                                              options.sponge_version);
       },
       false},
      {SchematicFormat::Structure, "structure", "structure", {"mojang", "nbt"}, {".nbt"}, "MOJANG", 1, false,
       false, {"size", "palette", "palettes", "blocks", "entities"}, ArrayProbe::Never,
       [](std::unique_ptr<ByteSource> document, const ReaderOptions&) -> std::unique_ptr<SchematicInputStream> {
         return std::make_unique<StructureSchematicInputStream>(std::move(document));
       },
       [](std::unique_ptr<ByteSink> sink, const std::optional<Boundary>& box,
          const WriterOptions&) -> std::unique_ptr<SchematicOutputStream> {
         return std::make_unique<StructureSchematicOutputStream>(std::move(sink), box);
       },
       true},
      {SchematicFormat::Litematica, "litematica", "Litematica", {"litematic"}, {".litematic"}, "LITEMATICA", 3,
       false, true, {"Regions", "MinecraftDataVersion"}, ArrayProbe::WhenNamed,
       [](std::unique_ptr<ByteSource> document,
          const ReaderOptions& options) -> std::unique_ptr<SchematicInputStream> {
         auto reader = std::make_unique<LitematicaSchematicInputStream>(
             std::move(document), foreign_root_tags(SchematicFormat::Litematica));
         if (options.region) reader->select_region(*options.region);
         return reader;
       },
       [](std::unique_ptr<ByteSink> sink, const std::optional<Boundary>& box,
          const WriterOptions&) -> std::unique_ptr<SchematicOutputStream> {
         return std::make_unique<LitematicaSchematicOutputStream>(std::move(sink), box.value_or(Boundary()));
       },
       false},
      {SchematicFormat::MCEdit, "mcedit", "MCEdit", {"schematic"}, {".schematic"}, "", 2, false, false,
       kSchematicRootTags, ArrayProbe::Never,
       [](std::unique_ptr<ByteSource> document, const ReaderOptions&) -> std::unique_ptr<SchematicInputStream> {
         return std::make_unique<MCEditSchematicInputStream>(std::move(document),
                                                             foreign_root_tags(SchematicFormat::MCEdit));
       },
       nullptr, false},
  };
  return table;
}

// The root tags of every other family of documents.
RootTags foreign_root_tags(SchematicFormat format) {
  const FormatEntry& own = format_entry(format);
  std::vector<std::string_view> names;
  for (const FormatEntry& entry : entries()) {
    if (entry.root_tags != own.root_tags) names.insert(names.end(), entry.root_tags.begin(), entry.root_tags.end());
  }
  return RootTags(std::move(names));
}

bool same_letters(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

template <typename Matches>
const FormatEntry* first_entry(Matches&& matches) {
  for (const FormatEntry& entry : entries()) {
    if (matches(entry)) return &entry;
  }
  return nullptr;
}

}  // namespace

std::span<const FormatEntry> format_table() { return entries(); }

const FormatEntry& format_entry(SchematicFormat format) {
  return *first_entry([&](const FormatEntry& entry) { return entry.id == format; });
}

const FormatEntry* find_format(std::string_view name) {
  return first_entry([&](const FormatEntry& entry) {
    return same_letters(entry.name, name) ||
           std::any_of(entry.aliases.begin(), entry.aliases.end(), [&](auto alias) { return same_letters(alias, name); });
  });
}

const FormatEntry* find_stream_type(std::string_view type) {
  return first_entry([&](const FormatEntry& entry) { return !entry.stream_type.empty() && same_letters(entry.stream_type, type); });
}

const FormatEntry* format_for_path(std::string_view path) {
  return first_entry([&](const FormatEntry& entry) {
    return std::any_of(entry.extensions.begin(), entry.extensions.end(), [&](std::string_view extension) {
      return path.size() >= extension.size() && same_letters(path.substr(path.size() - extension.size()), extension);
    });
  });
}

std::unique_ptr<SchematicInputStream> open_reader(const FormatEntry* format, std::unique_ptr<ByteSource> input,
                                                  const ReaderOptions& options) {
  if (format && format->gzip_only) return format->make_reader(make_decompressing_chain(std::move(input)), options);
  DocumentInput document = make_document_chain(std::move(input));
  if (format) return format->make_reader(std::move(document.source), options);
  return AnySchematicInputStream::new_from_known(std::move(document.source), document.gzip);
}

}  // namespace kubic
