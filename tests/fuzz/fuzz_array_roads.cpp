#include <cstdio>
#include <string>
#include <variant>
#include <vector>

#include "formats/any_reader.h"
#include "formats/format_table.h"
#include "io/chains.h"
#include "fuzz_support.h"
#include "schematic/chunks.h"
#include "schematic/load.h"
#include "schematic/save.h"

namespace {

constexpr kubic::Volume kMaxCells = kubic::Volume(1) << 20;

// Cells for boxes of at most kMaxCells positions (a tiny file may rightly
// declare a huge box); none for larger ones, which ends the load.
template <typename Cell>
Cell* cells_for(std::vector<Cell>& cells, const kubic::Boundary& box) {
  if (box.volume() > kMaxCells) return nullptr;
  cells.assign(size_t(box.volume()), 0);
  return cells.data();
}

}  // namespace

// The array roads over raw (decompressed) bytes, boxes anywhere in the
// coordinate range: a whole-box load, a save from its cells into every
// writable format, and a chunked walk.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kubic::fuzz::silence_stdout();
  std::vector<uint16_t> narrow;
  std::vector<uint32_t> wide;
  kubic::CellAllocators allocate{[&](const kubic::Boundary& box) { return cells_for(narrow, box); },
                                 [&](const kubic::Boundary& box) { return cells_for(wide, box); }};
  auto load = [&](const uint8_t* bytes, size_t length, const kubic::FormatEntry* format) {
    kubic::LoadRequest request;
    request.rereadable = true;
    request.format = format;
    return kubic::load_schematic(
        request,
        [&]() -> kubic::Result<std::unique_ptr<kubic::ByteSource>> { return kubic::fuzz::source(bytes, length); },
        allocate);
  };
  auto loaded = load(data, size, nullptr);
  if (loaded.ok()) {
    const kubic::Boundary box = loaded->box;
    const auto palette = loaded->palette;
    const auto extras = loaded->extras;
    std::vector<uint16_t> kept_narrow = narrow;
    std::vector<uint32_t> kept_wide = wide;
    const kubic::CellArray cells = std::holds_alternative<uint16_t*>(loaded->cells)
                                       ? kubic::CellArray(kept_narrow.data())
                                       : kubic::CellArray(kept_wide.data());
    for (const kubic::FormatEntry& format : kubic::format_table()) {
      if (!format.writable()) continue;
      auto out = std::make_shared<std::vector<uint8_t>>();
      auto sink = kubic::make_output_chain(std::make_unique<kubic::MemorySink>(out), format.gzip_output);
      auto saved = kubic::save_schematic(std::move(sink), format, box, palette, cells, extras, {});
      // Every file kubic writes, kubic reads back, with a box of the same size.
      if (!saved.ok()) continue;
      auto back = load(out->data(), out->size(), &format);
      if (back.ok() && back->box.volume() == box.volume()) continue;
      if (!back.ok() && back.status().kind() == kubic::ErrorKind::TooLarge) continue;
      std::fprintf(stderr, "%s output does not load back: %s\n", std::string(format.name).c_str(),
                   back.ok() ? "another box" : back.status().message().c_str());
      __builtin_trap();
    }
  }
  auto chunks = kubic::ChunkReader::open(kubic::AnySchematicInputStream::new_from_known(kubic::fuzz::source(data, size)),
                                         {16, 16, 16});
  for (int n = 0; chunks.ok() && n < 64; ++n) {
    auto chunk = (*chunks)->next();
    if (!chunk.ok() || !*chunk) break;
  }
  return 0;
}
