#pragma once

#include <string>

namespace kubic {

// Tags at the root of a document that only one family of NBT formats has:
// a reader under detection that meets one of another family's gives up
// there, instead of reading a large document through.

// "size", "palette", "palettes", "blocks", "entities": structure files.
bool structure_root_tag(const std::string& name);
// "Regions", "MinecraftDataVersion": Litematica files.
bool litematica_root_tag(const std::string& name);
// The sizes, palettes and block arrays of Sponge and MCEdit schematics.
bool schematic_root_tag(const std::string& name);

}  // namespace kubic
