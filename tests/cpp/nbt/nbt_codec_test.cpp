#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "io/memory_stream.h"
#include "nbt/mutf8.h"
#include "nbt/nbt_reader.h"
#include "nbt/nbt_stream_parser.h"
#include "nbt/nbt_writer.h"
#include "support/corpus.h"
#include "support/test_streams.h"

namespace kubic {
namespace {

using Bytes = std::vector<uint8_t>;
using testing::source_of;

template <typename... Items>
Tag list_of(TagType type, Items... items) {
  ListTag list{type, {}};
  (list.items.push_back(std::move(items)), ...);
  return Tag{std::move(list)};
}

NamedTag every_type_document() {
  Compound inner;
  inner.put("nul and emoji", Tag{std::string("a\0b\xF0\x9F\x98\x80", 7)});
  inner.put("byte", Tag{int8_t(-5)});
  Compound root;
  root.put("short", Tag{int16_t(-300)});
  root.put("int", Tag{int32_t(123456789)});
  root.put("long", Tag{int64_t(-1234567890123LL)});
  root.put("float", Tag{1.5f});
  root.put("double", Tag{-2.25});
  root.put("bytes", Tag{std::vector<int8_t>{1, -2, 3}});
  root.put("ints", Tag{std::vector<int32_t>{1, -2, 70000}});
  root.put("longs", Tag{std::vector<int64_t>{1, -2, 1LL << 40}});
  root.put("empty", list_of(TagType::End));
  root.put("lists", list_of(TagType::List, list_of(TagType::Int, Tag{int32_t(1)}, Tag{int32_t(2)}),
                            list_of(TagType::String, Tag{std::string("x")})));
  root.put("inner", Tag{std::move(inner)});
  return NamedTag{"root name", Tag{std::move(root)}};
}

Bytes encode(const NamedTag& doc, ByteOrder order = ByteOrder::kBigEndian) {
  auto out = std::make_shared<Bytes>();
  MemorySink sink(out);
  EXPECT_TRUE(encode_nbt(doc, sink, {}, order).ok());
  return *out;
}

TEST(NbtCodecTest, RoundTripsEveryTagType) {
  Bytes bytes = encode(every_type_document());
  auto parsed = parse_nbt(*source_of(bytes));
  ASSERT_TRUE(parsed.ok()) << parsed.message();
  EXPECT_EQ(parsed->name, "root name");
  EXPECT_EQ(encode(*parsed), bytes);
  const auto& root = *parsed->tag.as<Compound>();
  EXPECT_EQ(*root.get("long")->as<int64_t>(), -1234567890123LL);
  EXPECT_EQ(*root.get("inner")->as<Compound>()->get("nul and emoji")->as<std::string>(),
            std::string("a\0b\xF0\x9F\x98\x80", 7));
  EXPECT_EQ(root.get("empty")->as<ListTag>()->element_type, TagType::End);
}

// Bedrock's documents: the same tags, numbers little-endian, strings plain
// UTF-8; lists of Int come out in bulk.
TEST(NbtCodecTest, LittleEndianDocumentsRoundTrip) {
  Bytes bytes = encode(every_type_document(), ByteOrder::kLittleEndian);
  EXPECT_EQ(Bytes(bytes.begin(), bytes.begin() + 3), (Bytes{10, 9, 0}));  // root, name length 9 little-endian
  auto parsed = parse_nbt(*source_of(bytes), nullptr, ByteOrder::kLittleEndian);
  ASSERT_TRUE(parsed.ok()) << parsed.message();
  EXPECT_EQ(encode(*parsed, ByteOrder::kLittleEndian), bytes);
  const auto& root = *parsed->tag.as<Compound>();
  EXPECT_EQ(*root.get("int")->as<int32_t>(), 123456789);
  EXPECT_EQ(*root.get("inner")->as<Compound>()->get("nul and emoji")->as<std::string>(),
            std::string("a\0b\xF0\x9F\x98\x80", 7));
  const Bytes emoji{0xF0, 0x9F, 0x98, 0x80};  // as it is, not as modified UTF-8's surrogates
  EXPECT_NE(std::search(bytes.begin(), bytes.end(), emoji.begin(), emoji.end()), bytes.end());

  NbtStreamParser parser(source_of(bytes), ByteOrder::kLittleEndian);
  NbtEvent event;
  std::vector<int32_t> ints;
  do {
    ASSERT_TRUE(parser.next(event).ok());
  } while (!(event.kind == NbtEventKind::ListStart && event.element_type == TagType::Int));
  ASSERT_TRUE(parser.load_int_list(ints).ok());
  EXPECT_EQ(ints, (std::vector<int32_t>{1, 2}));
  ASSERT_TRUE(parser.next(event).ok());
  EXPECT_EQ(event.kind, NbtEventKind::ListEnd);
  EXPECT_FALSE(parser.load_int_list(ints).ok());  // not after a list of Int
}

TEST(NbtCodecTest, ModifiedUtf8OnDisk) {
  std::string text("a\0\xF0\x9F\x98\x80", 6);
  std::string encoded = encode_modified_utf8(text);
  EXPECT_EQ(encoded, std::string("a\xC0\x80\xED\xA0\xBD\xED\xB8\x80"));
  EXPECT_EQ(decode_modified_utf8(reinterpret_cast<const uint8_t*>(encoded.data()), encoded.size()), text);
  // Lenient decoding: bad bytes and lone surrogates become U+FFFD.
  std::string bad = "x\xFF\xED\xA0\xBDy\xC3";
  EXPECT_EQ(decode_modified_utf8(reinterpret_cast<const uint8_t*>(bad.data()), bad.size()),
            "x\xEF\xBF\xBD\xEF\xBF\xBDy\xEF\xBF\xBD");
}

TEST(NbtCodecTest, DuplicateNamesKeepTheLaterValueInTheFirstPlace) {
  Bytes doc = {10, 0, 0, 3, 0, 1, 'a', 0, 0, 0, 1, 3, 0, 1, 'b', 0, 0, 0, 2,
               3, 0, 1, 'a', 0, 0, 0, 3, 0, 0xEE};
  auto parsed = parse_nbt(*source_of(doc));
  ASSERT_TRUE(parsed.ok()) << parsed.message();
  const auto& entries = parsed->tag.as<Compound>()->entries();
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].name, "a");
  EXPECT_EQ(*entries[0].value.as<int32_t>(), 3);
}

TEST(NbtCodecTest, RefusesAdversarialInputQuickly) {
  struct Case {
    std::string name;
    Bytes bytes;
    std::string message;
  } cases[] = {
      {"huge list", {10, 0, 0, 9, 0, 1, 'l', 10, 0, 0x98, 0x96, 0x7F, 0}, "unexpected end of NBT data at byte 13"},
      {"list over limit", {10, 0, 0, 9, 0, 1, 'l', 1, 0, 0x98, 0x96, 0x81}, "list of 10000001 elements exceeds the limit of 10000000 at byte 12"},
      {"huge long array", {10, 0, 0, 12, 0, 1, 'a', 0x77, 0x35, 0x94, 0, 1, 2}, "unexpected end of NBT data at byte 13"},
      {"negative array", {10, 0, 0, 7, 0, 1, 'a', 0xFF, 0xFF, 0xFF, 0xFF}, "negative array length -1 at byte 11"},
      {"negative list", {10, 0, 0, 9, 0, 1, 'l', 1, 0xFF, 0xFF, 0xFF, 0xFE}, "negative list length -2 at byte 12"},
      {"bad type", {10, 0, 0, 13, 0, 0}, "invalid tag type 13 at byte 4"},
      {"bad root", {0xD4, 0x9A}, "invalid root tag type 212 at byte 1"},
      {"empty", {}, "empty NBT document"},
  };
  for (const auto& c : cases) {
    auto r = parse_nbt(*source_of(c.bytes));
    ASSERT_FALSE(r.ok()) << c.name;
    EXPECT_EQ(r.message(), c.message) << c.name;
  }
}

TEST(NbtCodecTest, DeepNestingFailsWithoutOverflow) {
  Bytes doc = {10, 0, 0, 9, 0, 0};
  for (int i = 0; i < 100000; ++i) doc.insert(doc.end(), {9, 0, 0, 0, 1});
  auto r = parse_nbt(*source_of(doc));
  ASSERT_FALSE(r.ok());
  EXPECT_NE(r.message().find("NBT nesting deeper than 512"), std::string::npos);
}

TEST(NbtCodecTest, LongArraysAreNotLimited) {
  Compound root;
  root.put("data", Tag{std::vector<int8_t>(12'000'000, 7)});
  Bytes bytes = encode(NamedTag{"", Tag{std::move(root)}});
  auto parsed = parse_nbt(*source_of(bytes));
  ASSERT_TRUE(parsed.ok()) << parsed.message();
  EXPECT_EQ(parsed->tag.as<Compound>()->get("data")->as<std::vector<int8_t>>()->size(), 12'000'000u);
}

TEST(NbtCodecTest, TruncatedAndFlippedVariantsNeverCrash) {
  Bytes bytes = encode(every_type_document());
  std::mt19937 rng(5);
  for (size_t cut = 0; cut < bytes.size(); ++cut) {
    EXPECT_FALSE(parse_nbt(*source_of(Bytes(bytes.begin(), bytes.begin() + cut))).ok()) << cut;
  }
  for (int i = 0; i < 3000; ++i) {
    Bytes flipped = bytes;
    for (int k = 0; k < 3; ++k) flipped[rng() % flipped.size()] ^= uint8_t(1 << (rng() % 8));
    (void)parse_nbt(*source_of(flipped));
  }
}

TEST(NbtCodecTest, DamagedRealDocumentsNeverCrash) {
  std::vector<Bytes> documents;
  for (const char* folder : {"sponge", "structure", "mcedit"}) {
    for (const auto& path : testing::corpus_files(folder)) {
      auto raw = testing::gunzip(testing::read_file(path));
      if (raw.ok() && raw->size() < 20000) documents.push_back(*raw);
    }
  }
  if (documents.empty()) GTEST_SKIP() << "corpus folder absent";
  std::mt19937 rng(11);
  for (int i = 0; i < 4000; ++i) {
    const Bytes& doc = documents[rng() % documents.size()];
    Bytes damaged(doc.begin(), doc.begin() + std::ptrdiff_t(rng() % (doc.size() + 1)));
    for (int k = 0; k < 4 && !damaged.empty(); ++k) damaged[rng() % damaged.size()] ^= uint8_t(1 << (rng() % 8));
    (void)parse_nbt(*source_of(damaged));
    NbtStreamParser parser(source_of(damaged));
    NbtEvent e;
    while (parser.next(e).ok() && e.kind != NbtEventKind::EndOfInput) {
    }
  }
}

TEST(NbtStreamParserTest, EventsAndEndOfInput) {
  Bytes doc = {10, 0, 0, 9, 0, 1, 'l', 3, 0, 0, 0, 2, 0, 0, 0, 1, 0, 0, 0, 2, 0, 0x55};
  NbtStreamParser parser(source_of(doc));
  std::vector<NbtEventKind> kinds;
  NbtEvent e;
  do {
    ASSERT_TRUE(parser.next(e).ok());
    kinds.push_back(e.kind);
  } while (e.kind != NbtEventKind::EndOfInput);
  EXPECT_EQ(kinds, (std::vector<NbtEventKind>{NbtEventKind::CompoundStart, NbtEventKind::ListStart,
                                              NbtEventKind::Value, NbtEventKind::Value,
                                              NbtEventKind::ListEnd, NbtEventKind::CompoundEnd,
                                              NbtEventKind::EndOfInput}));
  NbtStreamParser cut(source_of(Bytes(doc.begin(), doc.begin() + 9)));
  Status status;
  while ((status = cut.next(e)).ok() && e.kind != NbtEventKind::EndOfInput) {
  }
  EXPECT_FALSE(status.ok());
  EXPECT_NE(status.message().find("unexpected end of NBT data"), std::string::npos);
}

}  // namespace
}  // namespace kubic
