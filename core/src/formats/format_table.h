#pragma once

#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "io/byte_stream.h"
#include "stream/schematic_stream.h"

namespace kubic {

enum class SchematicFormat { Kub, Sponge, Structure, Litematica, MCEdit, MCStructure };

// What a reader may be asked for beyond its input.
struct ReaderOptions {
  std::optional<std::string> region;  // read only this part, where a format has named parts
};

// What writers may be asked for beyond the box.
struct WriterOptions {
  int sponge_version = 3;  // 2 for tools that read only that
  // The name formats that name their contents give a source without one:
  // the output file's stem, when there is a file.
  std::string default_name;
  // A state the format has no equivalent for fails the save, instead of
  // being written as air and noted.
  bool refuse_missing_states = false;
};

// When loading a whole schematic into an array tries a format's array road
// before detection (on inputs that can be read again).
enum class ArrayProbe {
  Never,
  WhenNamed,  // when the input's file name has one of the format's extensions
  Always,     // whenever the file name names no other format that probes
};

// One format kubic knows: the only place that names formats, their aliases
// and extensions, says what can be read and written, and how detection
// tells them apart. Everyone who lists formats asks this table.
struct FormatEntry {
  SchematicFormat id;
  std::string_view name;                      // the package's and the command line's name
  std::string_view title;                     // for messages: "Litematica"
  std::vector<std::string_view> aliases;      // other names users give it
  std::vector<std::string_view> extensions;   // lower case; the first is what outputs get
  std::string_view stream_type;               // kubic_rs's type name; empty where it cannot be named
  int detection_rank;                         // candidates are built in this order
  bool gzip_only;                             // never read from uncompressed input
  bool gzip_output;                           // written gzip-compressed
  bool has_regions;                           // files hold named parts a reader can select
  // The world's place is a field of its own (kub's Origin, Sponge's Offset),
  // apart from the box's frame, so a box saved at (0, 0, 0) loses nothing.
  bool keeps_origin;
  // Root tags that only this family of NBT documents has: a candidate of
  // another family that meets one gives up there.
  std::vector<std::string_view> root_tags;
  ArrayProbe array_probe;
  // The reader over the decompressed document.
  std::unique_ptr<SchematicInputStream> (*make_reader)(std::unique_ptr<ByteSource> document,
                                                       const ReaderOptions& options);
  // The writer of a box in world coordinates; null for formats read only.
  // Without a box, only a writer sized by its blocks grows one around them.
  std::unique_ptr<SchematicOutputStream> (*make_writer)(std::unique_ptr<ByteSink> sink,
                                                        const std::optional<Boundary>& box,
                                                        const WriterOptions& options);
  // kubic_rs saves the blocks left after reading without a box for this
  // writer.
  bool sized_by_its_blocks;

  bool writable() const { return make_writer != nullptr; }
};

// Every format, in the order users see them listed.
std::span<const FormatEntry> format_table();
const FormatEntry& format_entry(SchematicFormat format);
// By name or alias, in any letter case; null when none.
const FormatEntry* find_format(std::string_view name);
// By kubic_rs's type name, in any letter case; null when none.
const FormatEntry* find_stream_type(std::string_view type);
// By the extension of a file name, in any letter case; null when none.
const FormatEntry* format_for_path(std::string_view path);

// A reader of `format` over the raw input (gzip or, unless the format is
// gzip only, a plain document); null `format` detects it. Reads nothing.
std::unique_ptr<SchematicInputStream> open_reader(const FormatEntry* format, std::unique_ptr<ByteSource> input,
                                                  const ReaderOptions& options = {});

}  // namespace kubic
