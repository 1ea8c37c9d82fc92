#include "stream/metadata_keys.h"

#include <array>
#include <string_view>
#include <utility>

namespace kubic {

namespace {

// (callers' name, extras' name)
constexpr std::array<std::pair<std::string_view, std::string_view>, 4> kSharedKeys = {
    {{"name", "Name"}, {"author", "Author"}, {"description", "Description"}, {"date", "Date"}}};

// `metadata` with the shared keys renamed from one side's spelling to the
// other's and put first; a shared key spelled both ways keeps the value of
// the target spelling.
Compound renamed(const Compound& metadata, bool to_callers) {
  Compound out;
  for (const auto& [caller, extras] : kSharedKeys) {
    const std::string_view from = to_callers ? extras : caller, to = to_callers ? caller : extras;
    const Tag* value = metadata.get(to);
    if (!value) value = metadata.get(from);
    if (value) out.put(std::string(to), *value);
  }
  for (const CompoundEntry& entry : metadata.entries()) {
    bool shared = false;
    for (const auto& [caller, extras] : kSharedKeys) shared |= entry.name == caller || entry.name == extras;
    if (!shared) out.put(entry.name, entry.value);
  }
  return out;
}

}  // namespace

Compound metadata_for_callers(const Compound& extras_metadata) { return renamed(extras_metadata, true); }

Compound metadata_for_extras(const Compound& caller_metadata) { return renamed(caller_metadata, false); }

}  // namespace kubic
