#include "common/boundary.h"

#include <algorithm>

namespace kubic {

namespace {

int32_t wrap_add(int32_t a, int64_t b) { return int32_t(uint32_t(a) + uint32_t(uint64_t(b))); }

}  // namespace

std::string BlockPosition::debug_string() const {
  return "BlockPosition { x: " + std::to_string(x) + ", y: " + std::to_string(y) +
         ", z: " + std::to_string(z) + " }";
}

std::array<int, 3> axes_of(AxisOrder order) {
  switch (order) {
    case AxisOrder::XYZ: return {0, 1, 2};
    case AxisOrder::XZY: return {0, 2, 1};
    case AxisOrder::YXZ: return {1, 0, 2};
    case AxisOrder::YZX: return {1, 2, 0};
    case AxisOrder::ZXY: return {2, 0, 1};
    case AxisOrder::ZYX: return {2, 1, 0};
  }
  return {0, 1, 2};
}

std::optional<AxisOrder> axis_order_from_code(uint8_t code) {
  if (code > 5) return std::nullopt;
  return AxisOrder(code);
}

Volume Boundary::volume() const {
  if (empty()) return 0;
  return Volume(uint32_t(d_x)) * uint32_t(d_y) * uint32_t(d_z);
}

bool Boundary::contains(const BlockPosition& p) const { return offset_of(p).has_value(); }

std::optional<std::array<int64_t, 3>> Boundary::offset_of(const BlockPosition& p) const {
  std::array<int64_t, 3> offset;
  for (int a = 0; a < 3; ++a) {
    const uint32_t along = uint32_t(p[a]) - uint32_t(min_of(a));
    if (size_of(a) <= 0 || along >= uint32_t(size_of(a))) return std::nullopt;
    offset[size_t(a)] = int64_t(along);
  }
  return offset;
}

BoundaryIterator Boundary::walk(AxisOrder order) const { return BoundaryIterator(*this, order); }

Boundary Boundary::expand_to_include(const BlockPosition& p) const {
  if (contains(p)) return *this;
  Boundary out = *this;
  int32_t mins[3], sizes[3];
  for (int a = 0; a < 3; ++a) {
    int64_t lo = min_of(a);
    int64_t hi = lo + int64_t(size_of(a)) - 1;
    int64_t new_lo = std::min<int64_t>(lo, p[a]);
    int64_t new_hi = std::max<int64_t>(hi, p[a]);
    mins[a] = int32_t(new_lo);
    sizes[a] = int32_t(uint32_t(uint64_t(new_hi - new_lo + 1)));
  }
  out.min_x = mins[0], out.min_y = mins[1], out.min_z = mins[2];
  out.d_x = sizes[0], out.d_y = sizes[1], out.d_z = sizes[2];
  return out;
}

std::string Boundary::debug_string() const {
  return "Boundary { min_x: " + std::to_string(min_x) + ", min_y: " + std::to_string(min_y) +
         ", min_z: " + std::to_string(min_z) + ", d_x: " + std::to_string(d_x) +
         ", d_y: " + std::to_string(d_y) + ", d_z: " + std::to_string(d_z) + " }";
}

uint32_t axis_index(AxisOrder order, const BlockPosition& p, const Boundary& b) {
  auto [o, m, i] = axes_of(order);
  uint32_t r[3];
  for (int a = 0; a < 3; ++a) r[a] = uint32_t(p[a]) - uint32_t(b.min_of(a));
  return (r[o] * uint32_t(b.size_of(m)) + r[m]) * uint32_t(b.size_of(i)) + r[i];
}

BoundaryIterator::BoundaryIterator(const Boundary& b, AxisOrder order) {
  auto axes = axes_of(order);
  outer_ = axes[0], middle_ = axes[1], inner_ = axes[2];
  for (int a = 0; a < 3; ++a) {
    min_[a] = b.min_of(a);
    size_[a] = b.size_of(a);
  }
  finished_ = b.empty();
}

std::string volume_string(Volume value) {
  std::string digits;
  do {
    digits.insert(digits.begin(), char('0' + int(value % 10)));
    value /= 10;
  } while (value != 0);
  return digits;
}

Volume BoundaryIterator::current_index() const {
  return (Volume(offset_[outer_]) * Volume(size_[middle_]) + Volume(offset_[middle_])) * Volume(size_[inner_]) +
         Volume(offset_[inner_]);
}

BlockPosition BoundaryIterator::position_of(Volume index) const {
  Volume plane = Volume(size_[middle_]) * Volume(size_[inner_]);
  int64_t r[3];
  r[outer_] = int64_t(index / plane);
  r[middle_] = int64_t((index % plane) / Volume(size_[inner_]));
  r[inner_] = int64_t(index % Volume(size_[inner_]));
  return {wrap_add(min_[0], r[0]), wrap_add(min_[1], r[1]), wrap_add(min_[2], r[2])};
}

std::optional<BlockPosition> BoundaryIterator::nth_wide(Volume n) {
  if (finished_) return std::nullopt;
  Volume total = Volume(size_[0]) * Volume(size_[1]) * Volume(size_[2]);
  Volume k = current_index();
  if (n >= total - k) {
    finished_ = true;
    return std::nullopt;
  }
  Volume t = k + n;
  BlockPosition result = position_of(t);
  if (t + 1 < total) {
    Volume plane = Volume(size_[middle_]) * Volume(size_[inner_]);
    offset_[outer_] = int64_t((t + 1) / plane);
    offset_[middle_] = int64_t(((t + 1) % plane) / Volume(size_[inner_]));
    offset_[inner_] = int64_t((t + 1) % Volume(size_[inner_]));
  } else {
    finished_ = true;
  }
  return result;
}

}  // namespace kubic
