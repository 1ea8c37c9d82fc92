#include "common/text_util.h"

#include <algorithm>

#include <charconv>
#include <limits>

namespace kubic {

namespace {

// Length in bytes of the whitespace character starting at text[i], or 0.
size_t whitespace_length(std::string_view text, size_t i) {
  auto at = [&](size_t k) -> uint8_t { return i + k < text.size() ? uint8_t(text[i + k]) : 0; };
  uint8_t b0 = at(0);
  if ((b0 >= 0x09 && b0 <= 0x0D) || b0 == 0x20) return 1;
  if (b0 == 0xC2 && (at(1) == 0x85 || at(1) == 0xA0)) return 2;
  if (b0 == 0xE1 && at(1) == 0x9A && at(2) == 0x80) return 3;
  if (b0 == 0xE2 && at(1) == 0x80) {
    uint8_t b2 = at(2);
    if ((b2 >= 0x80 && b2 <= 0x8A) || b2 == 0xA8 || b2 == 0xA9 || b2 == 0xAF) return 3;
  }
  if (b0 == 0xE2 && at(1) == 0x81 && at(2) == 0x9F) return 3;
  if (b0 == 0xE3 && at(1) == 0x80 && at(2) == 0x80) return 3;
  return 0;
}

}  // namespace

std::string remove_whitespace(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    size_t n = whitespace_length(text, i);
    if (n == 0) {
      out.push_back(text[i++]);
    } else {
      i += n;
    }
  }
  return out;
}

std::optional<int64_t> parse_decimal_i64(std::string_view text) {
  size_t digits_start = (!text.empty() && (text[0] == '+' || text[0] == '-')) ? 1 : 0;
  if (digits_start == text.size()) return std::nullopt;
  for (size_t i = digits_start; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return std::nullopt;
  }
  if (text[0] == '+') text.remove_prefix(1);
  int64_t value = 0;
  auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || ptr != text.data() + text.size()) return std::nullopt;
  return value;
}

std::optional<int32_t> parse_decimal_i32(std::string_view text) {
  auto value = parse_decimal_i64(text);
  if (!value || *value < std::numeric_limits<int32_t>::min() ||
      *value > std::numeric_limits<int32_t>::max()) {
    return std::nullopt;
  }
  return int32_t(*value);
}

std::optional<std::string> utf8_error(std::string_view bytes) {
  const auto* s = reinterpret_cast<const uint8_t*>(bytes.data());
  size_t n = bytes.size();
  size_t i = 0;
  while (i < n) {
    uint8_t b = s[i];
    if (b < 0x80) {
      ++i;
      continue;
    }
    size_t width = b >= 0xC2 && b <= 0xDF ? 2 : b >= 0xE0 && b <= 0xEF ? 3 : b >= 0xF0 && b <= 0xF4 ? 4 : 0;
    if (width == 0) return "invalid utf-8 sequence of 1 bytes from index " + std::to_string(i);
    uint8_t lo = 0x80, hi = 0xBF;
    if (b == 0xE0) lo = 0xA0;
    if (b == 0xED) hi = 0x9F;
    if (b == 0xF0) lo = 0x90;
    if (b == 0xF4) hi = 0x8F;
    for (size_t k = 1; k < width; ++k) {
      if (i + k >= n) return "incomplete utf-8 byte sequence from index " + std::to_string(i);
      uint8_t c = s[i + k];
      if (c < (k == 1 ? lo : 0x80) || c > (k == 1 ? hi : 0xBF)) {
        return "invalid utf-8 sequence of " + std::to_string(k) + " bytes from index " +
               std::to_string(i);
      }
    }
    i += width;
  }
  return std::nullopt;
}

std::vector<std::string_view> split_text(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  while (!text.empty()) {
    const size_t end = std::min(text.find(separator), text.size());
    parts.push_back(text.substr(0, end));
    text.remove_prefix(std::min(end + 1, text.size()));
  }
  return parts;
}

}  // namespace kubic
