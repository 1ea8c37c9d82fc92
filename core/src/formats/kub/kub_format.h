#pragma once

#include <cstdint>

namespace kubic {

// "KUBFMT" read as a big-endian 48-bit number.
constexpr uint64_t kKubMagic = 0x4B5542464D54;
constexpr int32_t kKubVersion = 1;
// Version 2 adds, after the header, the schematic's extras as a
// length-prefixed NBT document (see docs/kub-format.md).
constexpr int32_t kKubVersionWithExtras = 2;

// Body codes: 0 a full palette entry, 1 a diff entry; even codes >= 2 place
// reference id c once, odd codes >= 3 place id c - 1 for a counted run.
constexpr int32_t kKubFullEntry = 0;
constexpr int32_t kKubDiffEntry = 1;

// The n-th palette entry (from 0) has reference id 2n + 2.
constexpr int32_t kub_reference_id(size_t entry_index) { return int32_t(2 * entry_index + 2); }

}  // namespace kubic
