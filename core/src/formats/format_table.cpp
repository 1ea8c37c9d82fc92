#include "formats/format_table.h"

#include <algorithm>
#include <cctype>

#include "formats/any_reader.h"
#include "formats/kub/kub_reader.h"
#include "formats/kub/kub_writer.h"
#include "formats/litematica/litematica_reader.h"
#include "formats/litematica/litematica_writer.h"
#include "formats/mcedit/mcedit_reader.h"
#include "formats/mcstructure/mcstructure_reader.h"
#include "formats/mcstructure/mcstructure_writer.h"
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

// The tags that say a document is a schematic of either: after one of them,
// another family's tags no longer end a candidate's parse.
const std::vector<std::string_view> kSchematicSizeTags = {"Schematic", "Width", "Height", "Length"};

RootTags foreign_root_tags(SchematicFormat format);

const std::vector<FormatEntry>& entries() {
  static const std::vector<FormatEntry> table = {
      {.id = SchematicFormat::Kub, .name = "kub", .title = "kub", .aliases = {}, .extensions = {".kub"},
       .stream_type = "KUB", .detection_rank = 4, .gzip_only = true, .gzip_output = true, .has_regions = false, .keeps_origin = true, .root_tags = {},
       .array_probe = ArrayProbe::Never,
       .make_reader = [](std::unique_ptr<ByteSource> document, const ReaderOptions&) -> std::unique_ptr<SchematicInputStream> {
         return std::make_unique<KUBSchematicInputStream>(std::move(document));
       },
       .make_writer = [](std::unique_ptr<ByteSink> sink, const std::optional<Boundary>& box,
          const WriterOptions&) -> std::unique_ptr<SchematicOutputStream> {
         return std::make_unique<KUBSchematicOutputStream>(std::move(sink), AxisOrder::XYZ, box.value_or(Boundary()));
       },
       .sized_by_its_blocks = false},
      {.id = SchematicFormat::Sponge, .name = "sponge", .title = "Sponge", .aliases = {"schem"},
       .extensions = {".schem"}, .stream_type = "SPONGE", .detection_rank = 1, .gzip_only = false, .gzip_output = true,
       .has_regions = false, .keeps_origin = true, .root_tags = kSchematicRootTags, .array_probe = ArrayProbe::Always,
       .make_reader = [](std::unique_ptr<ByteSource> document, const ReaderOptions&) -> std::unique_ptr<SchematicInputStream> {
         return std::make_unique<SpongeSchematicInputStream>(std::move(document),
                                                             foreign_root_tags(SchematicFormat::Sponge));
       },
       .make_writer = [](std::unique_ptr<ByteSink> sink, const std::optional<Boundary>& box,
          const WriterOptions& options) -> std::unique_ptr<SchematicOutputStream> {
         return std::make_unique<SpongeSchematicOutputStream>(std::move(sink), box.value_or(Boundary()),
                                                              options.sponge_version);
       },
       .sized_by_its_blocks = false},
      {.id = SchematicFormat::Structure, .name = "structure", .title = "structure", .aliases = {"mojang", "nbt"},
       .extensions = {".nbt"}, .stream_type = "MOJANG", .detection_rank = 0, .gzip_only = false, .gzip_output = true,
       .has_regions = false, .keeps_origin = false, .root_tags = {"size", "palette", "palettes", "blocks", "entities"},
       .array_probe = ArrayProbe::Never,
       .make_reader = [](std::unique_ptr<ByteSource> document, const ReaderOptions&) -> std::unique_ptr<SchematicInputStream> {
         return std::make_unique<StructureSchematicInputStream>(std::move(document));
       },
       .make_writer = [](std::unique_ptr<ByteSink> sink, const std::optional<Boundary>& box,
          const WriterOptions&) -> std::unique_ptr<SchematicOutputStream> {
         return std::make_unique<StructureSchematicOutputStream>(std::move(sink), box);
       },
       .sized_by_its_blocks = true},
      {.id = SchematicFormat::Litematica, .name = "litematica", .title = "Litematica", .aliases = {"litematic"},
       .extensions = {".litematic"}, .stream_type = "LITEMATICA", .detection_rank = 3, .gzip_only = false, .gzip_output = true,
       .has_regions = true, .keeps_origin = false, .root_tags = {"Regions", "MinecraftDataVersion"}, .array_probe = ArrayProbe::WhenNamed,
       .make_reader = [](std::unique_ptr<ByteSource> document,
          const ReaderOptions& options) -> std::unique_ptr<SchematicInputStream> {
         auto reader = std::make_unique<LitematicaSchematicInputStream>(
             std::move(document), foreign_root_tags(SchematicFormat::Litematica));
         if (options.region) reader->select_region(*options.region);
         return reader;
       },
       .make_writer = [](std::unique_ptr<ByteSink> sink, const std::optional<Boundary>& box,
          const WriterOptions& options) -> std::unique_ptr<SchematicOutputStream> {
         return std::make_unique<LitematicaSchematicOutputStream>(std::move(sink), box.value_or(Boundary()),
                                                                  options.default_name);
       },
       .sized_by_its_blocks = false},
      {.id = SchematicFormat::MCEdit, .name = "mcedit", .title = "MCEdit", .aliases = {"schematic"},
       .extensions = {".schematic"}, .stream_type = "", .detection_rank = 2, .gzip_only = false, .gzip_output = true,
       .has_regions = false, .keeps_origin = false, .root_tags = kSchematicRootTags, .array_probe = ArrayProbe::Never,
       .make_reader = [](std::unique_ptr<ByteSource> document, const ReaderOptions&) -> std::unique_ptr<SchematicInputStream> {
         return std::make_unique<MCEditSchematicInputStream>(std::move(document),
                                                             foreign_root_tags(SchematicFormat::MCEdit));
       },
       .make_writer = nullptr,
       .sized_by_its_blocks = false},
      {.id = SchematicFormat::MCStructure, .name = "mcstructure", .title = "Bedrock", .aliases = {"bedrock"},
       .extensions = {".mcstructure"}, .stream_type = "MCSTRUCTURE", .detection_rank = 5, .gzip_only = false,
       .gzip_output = false, .has_regions = false, .keeps_origin = true,
       .root_tags = {"format_version", "structure", "structure_world_origin"}, .array_probe = ArrayProbe::WhenNamed,
       .make_reader = [](std::unique_ptr<ByteSource> document, const ReaderOptions&) -> std::unique_ptr<SchematicInputStream> {
         return std::make_unique<MCStructureInputStream>(std::move(document));
       },
       .make_writer = [](std::unique_ptr<ByteSink> sink, const std::optional<Boundary>& box,
          const WriterOptions& options) -> std::unique_ptr<SchematicOutputStream> {
         return std::make_unique<MCStructureOutputStream>(std::move(sink), box, options.refuse_missing_states);
       },
       .sized_by_its_blocks = true},
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
  const bool schematic = own.root_tags == kSchematicRootTags;
  return RootTags(std::move(names), schematic ? kSchematicSizeTags : std::vector<std::string_view>{});
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
    auto matches = [&](std::string_view alias) { return same_letters(alias, name); };
    return matches(entry.name) || std::any_of(entry.aliases.begin(), entry.aliases.end(), matches);
  });
}

const FormatEntry* find_stream_type(std::string_view type) {
  return first_entry(
      [&](const FormatEntry& entry) { return !entry.stream_type.empty() && same_letters(entry.stream_type, type); });
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
