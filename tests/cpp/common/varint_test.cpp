#include "common/varint.h"

#include <gtest/gtest.h>

#include <vector>

namespace kubic {
namespace {

TEST(VarIntTest, EveryRoadReadsTheSameValueAndConsumesTheSameBytes) {
  const struct {
    std::vector<uint8_t> bytes;
    VarIntRead outcome;
    uint32_t value;
    size_t consumed;
  } cases[] = {
      {{0x00}, VarIntRead::Ok, 0, 1},
      {{0x7F}, VarIntRead::Ok, 127, 1},
      {{0x80, 0x01}, VarIntRead::Ok, 128, 2},
      {{0xFF, 0xFF, 0xFF, 0xFF, 0x0F}, VarIntRead::Ok, 0xFFFFFFFF, 5},
      {{0xFF, 0xFF, 0xFF, 0xFF, 0x8F}, VarIntRead::TooBig, 0, 5},
      {{0x80, 0x80}, VarIntRead::Ended, 0, 2},
      {{}, VarIntRead::Ended, 0, 0},
  };
  for (const auto& c : cases) {
    size_t at = 0;
    uint32_t value = 0;
    auto next = [&](uint8_t& byte) { return at < c.bytes.size() ? (byte = c.bytes[at++], true) : false; };
    EXPECT_EQ(read_var_int(next, value), c.outcome);
    EXPECT_EQ(at, c.consumed);
    if (c.outcome == VarIntRead::Ok) {
      EXPECT_EQ(value, c.value);
    }
    if (c.outcome == VarIntRead::Ended) continue;
    // The in-place road over a buffer of at least five bytes.
    std::vector<uint8_t> padded = c.bytes;
    padded.resize(kMaxVarIntBytes + 1, 0);
    const uint8_t* p = padded.data();
    EXPECT_EQ(decode_var_int(p, value), c.outcome == VarIntRead::Ok);
    EXPECT_EQ(size_t(p - padded.data()), c.consumed);
  }
}

}  // namespace
}  // namespace kubic
