#include "common/axis_map.h"

#include <cstddef>

namespace kubic {

AxisMap AxisMap::turn(int axis, int quarter_turns) {
  // One clockwise turn: about y, (x, y, z) -> (-z, y, x); about x,
  // (x, y, z) -> (x, z, -y); about z, (x, y, z) -> (y, -x, z).
  AxisMap one;
  if (axis == 1) one = {{2, 1, 0}, {-1, 1, 1}};
  if (axis == 0) one = {{0, 2, 1}, {1, 1, -1}};
  if (axis == 2) one = {{1, 0, 2}, {1, -1, 1}};
  AxisMap result;
  for (int i = 0; i < ((quarter_turns % 4) + 4) % 4; ++i) result = result.then(one);
  return result;
}

AxisMap AxisMap::flip(int axis) {
  AxisMap map;
  map.sign[size_t(axis)] = -1;
  return map;
}

AxisMap AxisMap::then(const AxisMap& next) const {
  AxisMap result;
  for (size_t i = 0; i < 3; ++i) {
    result.from[i] = from[next.from[i]];
    result.sign[i] = int8_t(next.sign[i] * sign[next.from[i]]);
  }
  return result;
}

std::array<int, 3> AxisMap::apply(const std::array<int, 3>& vector) const {
  return {sign[0] * vector[from[0]], sign[1] * vector[from[1]], sign[2] * vector[from[2]]};
}

int AxisMap::image_of_axis(int axis) const {
  for (int i = 0; i < 3; ++i) {
    if (from[size_t(i)] == axis) return i;
  }
  return axis;
}

bool AxisMap::mirrors() const {
  // The determinant: the permutation's parity times the signs.
  int inversions = 0;
  for (size_t i = 0; i < 3; ++i) {
    for (size_t j = i + 1; j < 3; ++j) inversions += from[i] > from[j];
  }
  const int product = sign[0] * sign[1] * sign[2];
  return (inversions % 2 ? -product : product) < 0;
}

bool AxisMap::mirrors_seen_from_above() const { return mirrors() != (sign[1] < 0); }

std::array<int64_t, 3> AxisMap::mapped_size(const std::array<int64_t, 3>& size) const {
  return {size[from[0]], size[from[1]], size[from[2]]};
}

std::array<int64_t, 3> AxisMap::map_cell(const std::array<int64_t, 3>& cell,
                                         const std::array<int64_t, 3>& size) const {
  std::array<int64_t, 3> out;
  for (size_t i = 0; i < 3; ++i) out[i] = sign[i] > 0 ? cell[from[i]] : size[from[i]] - 1 - cell[from[i]];
  return out;
}

std::array<double, 3> AxisMap::map_point(const std::array<double, 3>& point,
                                         const std::array<int64_t, 3>& size) const {
  std::array<double, 3> out;
  for (size_t i = 0; i < 3; ++i) {
    out[i] = sign[i] > 0 ? point[from[i]] : double(size[from[i]]) - point[from[i]];
  }
  return out;
}

}  // namespace kubic
