#include "nbt/nbt_reader.h"

#include "nbt/nbt_stream_parser.h"

namespace kubic {

namespace {

struct OpenContainer {
  std::string name;  // the container's own name in its parent
  Tag tag;
};

// Puts a finished value into the innermost open container.
void attach(OpenContainer& parent, std::string name, Tag value) {
  if (auto* list = std::get_if<ListTag>(&parent.tag.value)) {
    list->items.push_back(std::move(value));
  } else {
    std::get<Compound>(parent.tag.value).put(std::move(name), std::move(value));
  }
}

// Lends a source to the parser, which otherwise owns what it reads.
class BorrowedSource final : public ByteSource {
 public:
  explicit BorrowedSource(ByteSource& source) : source_(source) {}
  Result<size_t> read(uint8_t* buffer, size_t length) override {
    return source_.read(buffer, length);
  }

 private:
  ByteSource& source_;
};

Result<NamedTag> build_tree(NbtStreamParser& parser, NbtEvent& event, const NbtEntryFilter& keep) {
  std::vector<OpenContainer> open;
  std::vector<std::string> parents;  // names of the open compounds below the root
  int skipping = 0;                  // depth inside an entry the filter refused
  for (bool first = true;; first = false) {
    if (!first) KUBIC_RETURN_IF_ERROR(parser.next(event));
    const bool starts = event.kind == NbtEventKind::ListStart || event.kind == NbtEventKind::CompoundStart;
    const bool ends = event.kind == NbtEventKind::ListEnd || event.kind == NbtEventKind::CompoundEnd;
    if (skipping > 0) {
      skipping += starts ? 1 : ends ? -1 : 0;
      continue;
    }
    bool in_compound = !open.empty() && std::holds_alternative<Compound>(open.back().tag.value);
    if (keep && in_compound && (event.kind == NbtEventKind::Value || starts)) {
      const NbtEntryChoice choice = keep(parents, event.name);
      if (choice == NbtEntryChoice::Refuse) return Status::Unrecognised("unexpected tag '" + event.name + "'");
      if (choice == NbtEntryChoice::Skip) {
        if (starts) skipping = 1;
        continue;
      }
    }
    switch (event.kind) {
      case NbtEventKind::EndOfInput:
        return Status::Unrecognised("empty NBT document");
      case NbtEventKind::Value:
        KUBIC_RETURN_IF_ERROR(parser.load_array(event));
        if (open.empty()) return NamedTag{std::move(event.name), std::move(event.value)};
        attach(open.back(), std::move(event.name), std::move(event.value));
        break;
      case NbtEventKind::ListStart:
        if (event.length > kMaxTreeListLength) {
          return nbt_error_at("list of " + std::to_string(event.length) + " elements exceeds the limit of 10000000",
                              parser.offset());
        }
        open.push_back({std::move(event.name), Tag{ListTag{event.element_type, {}}}});
        break;
      case NbtEventKind::CompoundStart:
        if (!open.empty()) parents.push_back(in_compound ? event.name : std::string());
        open.push_back({std::move(event.name), Tag{Compound()}});
        break;
      case NbtEventKind::ListEnd:
      case NbtEventKind::CompoundEnd: {
        if (open.empty()) return nbt_error_at("unbalanced NBT events", parser.offset());
        OpenContainer done = std::move(open.back());
        open.pop_back();
        if (event.kind == NbtEventKind::CompoundEnd && !parents.empty() && !open.empty()) parents.pop_back();
        if (open.empty()) return NamedTag{std::move(done.name), std::move(done.tag)};
        attach(open.back(), std::move(done.name), std::move(done.tag));
        break;
      }
    }
    event.name.clear();
  }
}

}  // namespace

Result<NamedTag> parse_nbt(ByteSource& source, const NbtEntryFilter& keep, ByteOrder order) {
  NbtStreamParser parser(std::make_unique<BorrowedSource>(source), order);
  NbtEvent event;
  KUBIC_RETURN_IF_ERROR(parser.next(event));
  return build_tree(parser, event, keep);
}

Result<Tag> parse_nbt_value(NbtStreamParser& parser, NbtEvent& start) {
  auto built = build_tree(parser, start, nullptr);
  if (!built.ok()) return built.status();
  return std::move(built->tag);
}

}  // namespace kubic
