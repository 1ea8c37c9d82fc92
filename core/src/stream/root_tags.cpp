#include "stream/root_tags.h"

#include <algorithm>
#include <initializer_list>

namespace kubic {

namespace {

bool one_of(const std::string& name, std::initializer_list<const char*> names) {
  return std::any_of(names.begin(), names.end(), [&](const char* n) { return name == n; });
}

}  // namespace

bool structure_root_tag(const std::string& name) {
  return one_of(name, {"size", "palette", "palettes", "blocks", "entities"});
}

bool litematica_root_tag(const std::string& name) { return one_of(name, {"Regions", "MinecraftDataVersion"}); }

bool schematic_root_tag(const std::string& name) {
  return one_of(name, {"Schematic", "Width", "Height", "Length", "BlockData", "Palette", "Blocks", "Data",
                       "Materials", "DataVersion"});
}

}  // namespace kubic
