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
