#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "common/boundary.h"
#include "common/status.h"

namespace kubic {

class StateRef;

// An immutable block state: a namespaced name and an ordered list of string
// properties, with a SipHash-1-3 hash computed once. States are confined to
// one thread, so they are shared through StateRef with a plain counter.
class BlockState {
 public:
  using Property = std::pair<std::string, std::string>;

  BlockState(const BlockState&) = delete;
  BlockState& operator=(const BlockState&) = delete;

  // Takes the name and properties as they are; no validation.
  static StateRef create(std::string name, std::vector<Property> properties = {});
  // Parses the text syntax "namespace:type[key=value,...]".
  static Result<StateRef> from_string(std::string_view text);
  // A new, unshared "minecraft:air".
  static StateRef air();
  // The one shared "minecraft:air" of the calling thread.
  static const StateRef& air_rc();

  const std::string& name() const { return name_; }
  const std::vector<Property>& properties() const { return properties_; }
  bool is_air() const { return is_air_; }
  uint64_t hash() const { return hash_; }

  bool operator==(const BlockState& other) const;

  // The name alone, or name[k=v,...] with the items sorted as whole strings.
  std::string to_string() const;

 private:
  friend class StateRef;
  BlockState(std::string name, std::vector<Property> properties);

  std::string name_;
  std::vector<Property> properties_;
  uint64_t hash_;
  mutable uint32_t references_ = 0;
  bool is_air_;
};

// A counted handle on a shared BlockState; never null once made.
class StateRef {
 public:
  StateRef() = default;
  StateRef(const StateRef& other) : state_(other.state_) { acquire(); }
  StateRef(StateRef&& other) noexcept : state_(other.state_) { other.state_ = nullptr; }
  StateRef& operator=(const StateRef& other) {
    if (state_ != other.state_) {
      StateRef copy(other);
      std::swap(state_, copy.state_);
    }
    return *this;
  }
  StateRef& operator=(StateRef&& other) noexcept {
    std::swap(state_, other.state_);
    return *this;
  }
  ~StateRef() { release(); }

  const BlockState& operator*() const { return *state_; }
  const BlockState* operator->() const { return state_; }
  const BlockState* get() const { return state_; }
  explicit operator bool() const { return state_ != nullptr; }

  // Same object, or equal states.
  bool operator==(const StateRef& other) const {
    return state_ == other.state_ || (state_ && other.state_ && *state_ == *other.state_);
  }

  // Hands the pointer out without releasing it; adopt() takes it back.
  const BlockState* release_pointer() {
    const BlockState* p = state_;
    state_ = nullptr;
    return p;
  }
  static StateRef adopt(const BlockState* state) {
    StateRef ref;
    ref.state_ = state;
    return ref;
  }
  // A new counted handle on a state held elsewhere.
  static StateRef share(const BlockState* state) { return StateRef(state); }

 private:
  friend class BlockState;
  explicit StateRef(const BlockState* state) : state_(state) { acquire(); }
  void acquire() const {
    if (state_) ++state_->references_;
  }
  void release() {
    if (state_ && --state_->references_ == 0) delete state_;
    state_ = nullptr;
  }

  const BlockState* state_ = nullptr;
};

// Sets key to value in an ordered property list: a key already present keeps
// its place and takes the new value, a new key goes last.
void assign_property(std::vector<BlockState::Property>& properties, const std::string& key,
                     const std::string& value);

// A character the state syntax allows in property keys and values: ASCII
// letters of either case, digits, '-', '+' and '_'.
bool is_state_property_char(char c);

struct StateRefHash {
  size_t operator()(const StateRef& s) const { return size_t(s->hash()); }
};

// A position with a shared state: what readers yield and writers consume.
struct Block {
  BlockPosition position;
  StateRef state;
};

}  // namespace kubic
