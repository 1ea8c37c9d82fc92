#include <variant>
#include <vector>

#include "formats/any_reader.h"
#include "formats/format_table.h"
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
  kubic::LoadRequest request;
  request.rereadable = true;
  auto loaded = kubic::load_schematic(
      request, [&]() -> kubic::Result<std::unique_ptr<kubic::ByteSource>> { return kubic::fuzz::source(data, size); },
      allocate);
  if (loaded.ok()) {
    const kubic::CellArray cells = std::visit([](auto* p) { return kubic::CellArray(p); }, loaded->cells);
    for (const kubic::FormatEntry& format : kubic::format_table()) {
      if (!format.writable()) continue;
      auto out = std::make_shared<std::vector<uint8_t>>();
      (void)kubic::save_schematic(std::make_unique<kubic::MemorySink>(out), format, loaded->box, loaded->palette, cells,
                                  loaded->extras, {});
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
