#pragma once

#include <array>
#include <cstdint>

namespace kubic {

// A quarter turn, a mirror or a composition of them: a signed permutation of
// the axes (0 = x east, 1 = y up, 2 = z south). Axis i of a mapped vector is
// sign[i] times axis from[i] of the original.
struct AxisMap {
  std::array<uint8_t, 3> from{0, 1, 2};
  std::array<int8_t, 3> sign{1, 1, 1};

  // `quarter_turns` clockwise turns about `axis`, looking down it from its
  // positive end: about y, seen from above, north goes to east.
  static AxisMap turn(int axis, int quarter_turns);
  // The mirror across `axis`: x swaps east and west, y up and down.
  static AxisMap flip(int axis);

  // This map, then `next`.
  AxisMap then(const AxisMap& next) const;
  std::array<int, 3> apply(const std::array<int, 3>& vector) const;
  // Where axis `axis` of the original lies in the mapped space.
  int image_of_axis(int axis) const;
  // Whether it reverses handedness (a mirror, as opposed to a turn).
  bool mirrors() const;
  // Whether up stays up or down (a turn about y, any mirror).
  bool keeps_vertical() const { return from[1] == 1; }
  // For a map that keeps the vertical: whether left and right, as seen from
  // above, swap (a mirror of x or z; a flip of y keeps them).
  bool mirrors_seen_from_above() const;
  bool operator==(const AxisMap&) const = default;

  // The size of a box after the map.
  std::array<int64_t, 3> mapped_size(const std::array<int64_t, 3>& size) const;
  // Where cell `cell` of a box of `size` lands, the box's minimum corner
  // staying where it is.
  std::array<int64_t, 3> map_cell(const std::array<int64_t, 3>& cell, const std::array<int64_t, 3>& size) const;
  // The same for a point anywhere in the box (an entity's position), the
  // box spanning [0, size] on each axis.
  std::array<double, 3> map_point(const std::array<double, 3>& point, const std::array<int64_t, 3>& size) const;
};

}  // namespace kubic
