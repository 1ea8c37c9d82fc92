#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace kubic {

struct BlockPosition {
  int32_t x = 0;
  int32_t y = 0;
  int32_t z = 0;

  int32_t operator[](int axis) const { return axis == 0 ? x : (axis == 1 ? y : z); }
  bool operator==(const BlockPosition&) const = default;

  // "BlockPosition { x: 1, y: 2, z: 3 }"; appears inside error messages.
  std::string debug_string() const;
};

// p + delta on each axis, wrapping in 32 bits like every coordinate sum.
inline BlockPosition moved(const BlockPosition& p, const BlockPosition& delta) {
  return {int32_t(uint32_t(p.x) + uint32_t(delta.x)), int32_t(uint32_t(p.y) + uint32_t(delta.y)),
          int32_t(uint32_t(p.z) + uint32_t(delta.z))};
}

// a - b on each axis, wrapping in 32 bits like every coordinate sum.
inline BlockPosition wrapped_difference(const BlockPosition& a, const BlockPosition& b) {
  return {int32_t(uint32_t(a.x) - uint32_t(b.x)), int32_t(uint32_t(a.y) - uint32_t(b.y)),
          int32_t(uint32_t(a.z) - uint32_t(b.z))};
}

struct BlockPositionHash {
  size_t operator()(const BlockPosition& p) const {
    uint64_t h = (uint64_t(uint32_t(p.x)) * 0x9E3779B97F4A7C15ull) ^
                 (uint64_t(uint32_t(p.y)) * 0xC2B2AE3D27D4EB4Full) ^
                 (uint64_t(uint32_t(p.z)) * 0x165667B19E3779F9ull);
    return size_t(h ^ (h >> 29));
  }
};

// Positions in a box: three 32-bit sizes multiply past 64 bits.
__extension__ typedef unsigned __int128 Volume;

// Decimal text of a volume, for messages.
std::string volume_string(Volume value);

// The six walk orders; the name lists the axes from the outermost loop to
// the innermost. The codes are stored in kub files and never change.
enum class AxisOrder : uint8_t { XYZ = 0, XZY = 1, YXZ = 2, YZX = 3, ZXY = 4, ZYX = 5 };

// Axis numbers (0 = x, 1 = y, 2 = z) of an order: outer, middle, inner.
std::array<int, 3> axes_of(AxisOrder order);

// The order with the given code, if the code is one of 0 to 5.
std::optional<AxisOrder> axis_order_from_code(uint8_t code);

class BoundaryIterator;

// An axis-aligned box: min <= c <= min + d - 1 on every axis.
struct Boundary {
  int32_t min_x = 0, min_y = 0, min_z = 0;
  int32_t d_x = 0, d_y = 0, d_z = 0;

  Boundary() = default;
  Boundary(int32_t mx, int32_t my, int32_t mz, int32_t dx, int32_t dy, int32_t dz)
      : min_x(mx), min_y(my), min_z(mz), d_x(dx), d_y(dy), d_z(dz) {}
  bool operator==(const Boundary& o) const {
    return min_x == o.min_x && min_y == o.min_y && min_z == o.min_z && d_x == o.d_x &&
           d_y == o.d_y && d_z == o.d_z;
  }

  int32_t min_of(int axis) const { return axis == 0 ? min_x : (axis == 1 ? min_y : min_z); }
  int32_t size_of(int axis) const { return axis == 0 ? d_x : (axis == 1 ? d_y : d_z); }
  bool empty() const { return d_x <= 0 || d_y <= 0 || d_z <= 0; }
  // Number of positions; 0 for an empty box.
  Volume volume() const;

  // Whether the position is one of the box's: its offset from the minimum
  // corner, counted as coordinates wrap in 32 bits, is below the size.
  bool contains(const BlockPosition& position) const;
  // That offset on each axis, when the position is in the box: the one way
  // array roads find a position's cell, so that a box whose far corner
  // wraps past 2^31 - 1 can never index outside its cells.
  std::optional<std::array<int64_t, 3>> offset_of(const BlockPosition& position) const;
  BoundaryIterator walk(AxisOrder order) const;

  // The smallest box holding this one and the position; this is unchanged.
  Boundary expand_to_include(const BlockPosition& position) const;

  // "Boundary { min_x: 0, min_y: 0, min_z: 0, d_x: 16, d_y: 8, d_z: 4 }".
  std::string debug_string() const;
};

// The position's place in the walk of `boundary` in `order`. Wraps in 32
// bits with no range check: positions outside the box give meaningless values.
uint32_t axis_index(AxisOrder order, const BlockPosition& position, const Boundary& boundary);

// One walk over a box, by value.
class BoundaryIterator {
 public:
  BoundaryIterator(const Boundary& boundary, AxisOrder order);

  // Inline: it runs once per position in the readers' and writers' walks.
  std::optional<BlockPosition> next() {
    if (finished_) return std::nullopt;
    BlockPosition result{int32_t(uint32_t(min_[0]) + uint32_t(offset_[0])),
                         int32_t(uint32_t(min_[1]) + uint32_t(offset_[1])),
                         int32_t(uint32_t(min_[2]) + uint32_t(offset_[2]))};
    if (++offset_[inner_] < size_[inner_]) return result;
    offset_[inner_] = 0;
    if (++offset_[middle_] < size_[middle_]) return result;
    offset_[middle_] = 0;
    if (++offset_[outer_] < size_[outer_]) return result;
    finished_ = true;
    return result;
  }
  // Skips n positions and returns the one after them; constant time.
  std::optional<BlockPosition> nth(uint64_t n) { return nth_wide(n); }
  // nth() for counts past 64 bits, which boxes of 2^64 positions or more need.
  std::optional<BlockPosition> nth_wide(Volume n);

  // Linear index of the next position to hand out (the current position).
  Volume current_index() const;
  bool finished() const { return finished_; }

 private:
  BlockPosition position_of(Volume index) const;

  int32_t min_[3];
  int64_t size_[3];
  int64_t offset_[3] = {0, 0, 0};
  int outer_, middle_, inner_;
  bool finished_ = false;
};

}  // namespace kubic
