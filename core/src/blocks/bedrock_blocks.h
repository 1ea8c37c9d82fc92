#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/block_state.h"

namespace kubic {

// Bedrock reads its blocks as Java 1.21.1's and writes them as Bedrock
// 1.21.0's, whose block "version" number every palette entry carries.
constexpr int32_t kBedrockJavaDataVersion = 3955;
constexpr int32_t kBedrockBlockVersion = 18153475;

// One value of a Bedrock block state: its key, NBT type ('i' Int, 'b' Byte,
// 's' String) and value as text (numbers in decimal).
struct BedrockValue {
  std::string key;
  char type;
  std::string value;
  bool operator==(const BedrockValue&) const = default;
};

// A Bedrock block state: the namespaced name and its values, keys sorted.
struct BedrockState {
  std::string name;
  std::vector<BedrockValue> values;
  bool operator==(const BedrockState&) const = default;
};

// The Java 1.21.1 state a Bedrock state is, by the tables of 1.21.0 and,
// for spellings older files use, those of earlier versions; nothing when no
// table knows it. Values are compared as text (numbers in decimal).
std::optional<StateRef> java_of_bedrock(const BedrockState& state);

// The Bedrock 1.21.0 state of a canonical Java 1.21.1 state; nothing when
// the tables have none.
std::optional<BedrockState> bedrock_of_java(const BlockState& state);

// Whether `name` ("minecraft:stone") is a Bedrock 1.21.0 block.
bool is_bedrock_block(std::string_view name);

// The NBT type a Bedrock 1.21.0 block gives a key ('i', 'b', 's'), or 0.
char bedrock_value_type(std::string_view name, std::string_view key);

}  // namespace kubic
