#include "nbt/mutf8.h"

namespace kubic {

namespace {

constexpr uint32_t kReplacement = 0xFFFD;

void append_utf8(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out.push_back(char(cp));
  } else if (cp < 0x800) {
    out.push_back(char(0xC0 | (cp >> 6)));
    out.push_back(char(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(char(0xE0 | (cp >> 12)));
    out.push_back(char(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(char(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(char(0xF0 | (cp >> 18)));
    out.push_back(char(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(char(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(char(0x80 | (cp & 0x3F)));
  }
}

void append_3byte_unit(std::string& out, uint32_t unit) {
  out.push_back(char(0xE0 | (unit >> 12)));
  out.push_back(char(0x80 | ((unit >> 6) & 0x3F)));
  out.push_back(char(0x80 | (unit & 0x3F)));
}

bool is_continuation(uint8_t b) { return (b & 0xC0) == 0x80; }

// Decodes one sequence of `width` bytes at s[i] (2, 3 or 4), or fails.
bool decode_sequence(const uint8_t* s, size_t n, size_t i, size_t width, uint32_t& cp) {
  if (i + width > n) return false;
  for (size_t k = 1; k < width; ++k) {
    if (!is_continuation(s[i + k])) return false;
  }
  if (width == 2) {
    cp = (uint32_t(s[i] & 0x1F) << 6) | (s[i + 1] & 0x3F);
  } else if (width == 3) {
    cp = (uint32_t(s[i] & 0x0F) << 12) | (uint32_t(s[i + 1] & 0x3F) << 6) | (s[i + 2] & 0x3F);
  } else {
    cp = (uint32_t(s[i] & 0x07) << 18) | (uint32_t(s[i + 1] & 0x3F) << 12) |
         (uint32_t(s[i + 2] & 0x3F) << 6) | (s[i + 3] & 0x3F);
    if (cp < 0x10000 || cp > 0x10FFFF) return false;
  }
  return true;
}

// Reads one UTF-8 code point at text[i]; U+FFFD and one byte when invalid.
uint32_t next_code_point(std::string_view text, size_t& i) {
  const auto* s = reinterpret_cast<const uint8_t*>(text.data());
  uint8_t b = s[i];
  size_t width = b < 0x80 ? 1 : (b & 0xE0) == 0xC0 ? 2 : (b & 0xF0) == 0xE0 ? 3 : (b & 0xF8) == 0xF0 ? 4 : 0;
  uint32_t cp = b;
  if (width == 1) {
    ++i;
    return cp;
  }
  if (width == 0 || !decode_sequence(s, text.size(), i, width, cp)) {
    ++i;
    return kReplacement;
  }
  i += width;
  return cp;
}

}  // namespace

std::string decode_modified_utf8(const uint8_t* s, size_t n) {
  std::string out;
  out.reserve(n);
  size_t i = 0;
  while (i < n) {
    uint8_t b = s[i];
    if (b < 0x80) {
      out.push_back(char(b));
      ++i;
      continue;
    }
    size_t width = (b & 0xE0) == 0xC0 ? 2 : (b & 0xF0) == 0xE0 ? 3 : (b & 0xF8) == 0xF0 ? 4 : 0;
    uint32_t cp = 0;
    if (width == 0 || !decode_sequence(s, n, i, width, cp)) {
      append_utf8(out, kReplacement);
      ++i;
      continue;
    }
    if (width == 3 && cp >= 0xD800 && cp <= 0xDBFF) {
      uint32_t low = 0;
      if (i + 3 < n && s[i + 3] == 0xED && decode_sequence(s, n, i + 3, 3, low) && low >= 0xDC00 &&
          low <= 0xDFFF) {
        append_utf8(out, 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00));
        i += 6;
        continue;
      }
      cp = kReplacement;
    } else if (width == 3 && cp >= 0xDC00 && cp <= 0xDFFF) {
      cp = kReplacement;
    }
    append_utf8(out, cp);
    i += width;
  }
  return out;
}

std::string encode_modified_utf8(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    uint32_t cp = next_code_point(text, i);
    if (cp == 0) {
      out.push_back(char(0xC0));
      out.push_back(char(0x80));
    } else if (cp >= 0x10000) {
      uint32_t v = cp - 0x10000;
      append_3byte_unit(out, 0xD800 + (v >> 10));
      append_3byte_unit(out, 0xDC00 + (v & 0x3FF));
    } else {
      append_utf8(out, cp);
    }
  }
  return out;
}

}  // namespace kubic
