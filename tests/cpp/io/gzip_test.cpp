#include "io/gzip.h"

#include <gtest/gtest.h>

#include <random>

#include "io/chains.h"
#include "io/memory_stream.h"
#include "support/test_streams.h"

namespace kubic {
namespace {

using testing::gunzip;
using testing::gzip;

std::vector<uint8_t> sample(size_t size, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> out(size);
  // Runs of repeated bytes with noise: compressible but not trivially.
  for (size_t i = 0; i < size; ++i) out[i] = uint8_t(rng() % 7 == 0 ? rng() : i / 97);
  return out;
}

TEST(GzipTest, RoundTripsSmallAndLarge) {
  for (size_t size : {size_t(0), size_t(1), size_t(8191), size_t(8192), size_t(70000),
                      size_t(5 << 20)}) {
    auto raw = sample(size, uint32_t(size));
    auto packed = gzip(raw);
    ASSERT_GE(packed.size(), 18u);
    EXPECT_EQ(std::vector<uint8_t>(packed.begin(), packed.begin() + 10),
              (std::vector<uint8_t>{0x1F, 0x8B, 8, 0, 0, 0, 0, 0, 0, 0xFF}));
    auto back = gunzip(packed);
    ASSERT_TRUE(back.ok()) << back.message();
    EXPECT_EQ(*back, raw);
  }
}

TEST(GzipTest, DamagedInputFailsWithItsMessage) {
  auto raw = sample(100000, 7);
  auto packed = gzip(raw);
  auto truncated = std::vector<uint8_t>(packed.begin(), packed.begin() + packed.size() / 2);
  auto wrong_crc = packed;
  wrong_crc[wrong_crc.size() - 6] ^= 0x01;
  auto wrong_length = packed;
  wrong_length[wrong_length.size() - 2] ^= 0x01;
  auto bad_magic = packed;
  bad_magic[0] = 0x1E;
  struct Case {
    std::vector<uint8_t> bytes;
    std::string message;
  } cases[] = {
      {truncated, "unexpected end of file"},
      {std::vector<uint8_t>(packed.begin(), packed.end() - 3), "unexpected end of file"},
      {wrong_crc, "corrupt gzip stream does not have a matching checksum"},
      {wrong_length, "corrupt gzip stream does not have a matching checksum"},
      {bad_magic, "invalid gzip header"},
      {{}, "invalid gzip header"},
      {{0x1F, 0x8B, 8}, "invalid gzip header"},
  };
  for (const auto& c : cases) {
    auto r = gunzip(c.bytes);
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.message(), c.message);
  }
}

TEST(GzipTest, BytesAfterTheMemberAreIgnored) {
  auto raw = sample(3000, 3);
  auto packed = gzip(raw);
  auto second = gzip(sample(10, 4));
  packed.insert(packed.end(), second.begin(), second.end());
  packed.push_back(0x42);
  EXPECT_EQ(*gunzip(packed), raw);
}

TEST(GzipTest, HeaderWithOptionalFieldsIsAccepted) {
  auto packed = gzip({'h', 'i'});
  // FEXTRA, FNAME, FCOMMENT and FHCRC, inserted after the fixed header.
  std::vector<uint8_t> fields = {2, 0, 'x', 'y', 'n', 0, 'c', 0, 0xAB, 0xCD};
  packed[3] = 0x02 | 0x04 | 0x08 | 0x10;
  packed.insert(packed.begin() + 10, fields.begin(), fields.end());
  EXPECT_EQ(*gunzip(packed), (std::vector<uint8_t>{'h', 'i'}));
}

TEST(GzipTest, FlushMakesEverythingSoFarReadable) {
  auto out = std::make_shared<std::vector<uint8_t>>();
  auto chain = make_compressing_chain(std::make_unique<MemorySink>(out));
  std::vector<uint8_t> raw = sample(20000, 9);
  ASSERT_TRUE(write_all(*chain, raw.data(), raw.size()).ok());
  ASSERT_TRUE(chain->flush().ok());
  GzipDecoder decoder(std::make_unique<MemorySource>(*out));
  std::vector<uint8_t> got(raw.size());
  ASSERT_TRUE(read_exact(decoder, got.data(), got.size()).ok());
  EXPECT_EQ(got, raw);
  ASSERT_TRUE(chain->finish().ok());
  EXPECT_EQ(*gunzip(*out), raw);
}

// zlib's own reading of a gzip member, independent of ours.
std::vector<uint8_t> zlib_gunzip(const std::vector<uint8_t>& packed, size_t size) {
  std::vector<uint8_t> out(size + 1);
  z_stream zs{};
  inflateInit2(&zs, 16 + MAX_WBITS);
  zs.next_in = const_cast<uint8_t*>(packed.data());
  zs.avail_in = uInt(packed.size());
  zs.next_out = out.data();
  zs.avail_out = uInt(out.size());
  int ret = inflate(&zs, Z_FINISH);
  inflateEnd(&zs);
  EXPECT_EQ(ret, Z_STREAM_END);
  out.resize(zs.total_out);
  return out;
}

TEST(GzipTest, WholeAndStreamedOutputIsStandardGzip) {
  auto raw = sample(300000, 11);
  // A limit below the document's size turns to streaming part way through.
  for (size_t limit : {size_t(0), size_t(1000), size_t(100000), GzipEncoder::kWholeLimit}) {
    auto out = std::make_shared<std::vector<uint8_t>>();
    {
      GzipEncoder encoder(std::make_unique<MemorySink>(out), 6, limit);
      for (size_t at = 0; at < raw.size(); at += 7000) {
        ASSERT_TRUE(write_all(encoder, raw.data() + at, std::min<size_t>(7000, raw.size() - at)).ok());
      }
      ASSERT_TRUE(encoder.finish().ok());
    }
    EXPECT_EQ(zlib_gunzip(*out, raw.size()), raw) << limit;
    EXPECT_EQ(*gunzip(*out), raw) << limit;
  }
}

TEST(GzipTest, ReadsZlibOutputInPiecesOfAnySize) {
  auto raw = sample(200000, 12);
  std::vector<uint8_t> packed(compressBound(uLong(raw.size())) + 64);
  z_stream zs{};
  deflateInit2(&zs, 9, Z_DEFLATED, 16 + MAX_WBITS, 9, Z_DEFAULT_STRATEGY);
  zs.next_in = raw.data();
  zs.avail_in = uInt(raw.size());
  zs.next_out = packed.data();
  zs.avail_out = uInt(packed.size());
  ASSERT_EQ(deflate(&zs, Z_FINISH), Z_STREAM_END);
  packed.resize(zs.total_out);
  deflateEnd(&zs);
  packed.push_back(0x42);  // past the member, ignored
  for (size_t piece : {size_t(1), size_t(3), size_t(4096)}) {
    GzipDecoder decoder(std::make_unique<MemorySource>(packed));
    std::vector<uint8_t> got;
    std::vector<uint8_t> buffer(piece);
    while (true) {
      auto n = decoder.read(buffer.data(), piece);
      ASSERT_TRUE(n.ok()) << n.message();
      if (*n == 0) break;
      got.insert(got.end(), buffer.begin(), buffer.begin() + std::ptrdiff_t(*n));
    }
    EXPECT_EQ(got, raw) << piece;
  }
}

TEST(GzipTest, FinishReportsAFailingSink) {
  struct FailingSink final : ByteSink {
    Result<size_t> write(const uint8_t*, size_t) override { return Status::Error("disk full"); }
    Status flush() override { return Status::Ok(); }
  };
  auto chain = make_compressing_chain(std::make_unique<FailingSink>());
  uint8_t byte = 1;
  ASSERT_TRUE(write_all(*chain, &byte, 1).ok());
  EXPECT_EQ(chain->finish().message(), "disk full");
}

}  // namespace
}  // namespace kubic
