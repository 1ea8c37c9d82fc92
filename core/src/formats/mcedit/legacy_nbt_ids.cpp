#include "formats/mcedit/legacy_nbt_ids.h"

#include <algorithm>
#include <iterator>
#include <optional>
#include <utility>

namespace kubic {

namespace {

struct Rename {
  std::string_view old_id;
  std::string_view id;  // without namespace
};

// Sorted by old id.
constexpr Rename kBlockEntities[] = {
    {"Airportal", "end_portal"},   {"Banner", "banner"},
    {"Beacon", "beacon"},          {"Cauldron", "brewing_stand"},
    {"Chest", "chest"},            {"Comparator", "comparator"},
    {"Control", "command_block"},  {"DLDetector", "daylight_detector"},
    {"Dropper", "dropper"},        {"EnchantTable", "enchanting_table"},
    {"EndGateway", "end_gateway"}, {"EnderChest", "ender_chest"},
    {"FlowerPot", "flower_pot"},   {"Furnace", "furnace"},
    {"Hopper", "hopper"},          {"MobSpawner", "mob_spawner"},
    {"Music", "noteblock"},        {"Piston", "piston"},
    {"RecordPlayer", "jukebox"},   {"Sign", "sign"},
    {"Skull", "skull"},            {"Structure", "structure_block"},
    {"Trap", "dispenser"},
};

// Sorted by old id: before 1.11 and 1.11's own names that 1.13 changed.
constexpr Rename kEntities[] = {
    {"AreaEffectCloud", "area_effect_cloud"},
    {"ArmorStand", "armor_stand"},
    {"Arrow", "arrow"},
    {"Bat", "bat"},
    {"Blaze", "blaze"},
    {"Boat", "boat"},
    {"CaveSpider", "cave_spider"},
    {"Chicken", "chicken"},
    {"Cow", "cow"},
    {"Creeper", "creeper"},
    {"DragonFireball", "dragon_fireball"},
    {"EnderCrystal", "end_crystal"},
    {"EnderDragon", "ender_dragon"},
    {"Enderman", "enderman"},
    {"Endermite", "endermite"},
    {"EntityHorse", "horse"},
    {"EyeOfEnderSignal", "eye_of_ender"},
    {"FallingSand", "falling_block"},
    {"Fireball", "fireball"},
    {"FireworksRocketEntity", "firework_rocket"},
    {"Ghast", "ghast"},
    {"Giant", "giant"},
    {"Guardian", "guardian"},
    {"Item", "item"},
    {"ItemFrame", "item_frame"},
    {"LavaSlime", "magma_cube"},
    {"LeashKnot", "leash_knot"},
    {"MinecartChest", "chest_minecart"},
    {"MinecartCommandBlock", "command_block_minecart"},
    {"MinecartFurnace", "furnace_minecart"},
    {"MinecartHopper", "hopper_minecart"},
    {"MinecartRideable", "minecart"},
    {"MinecartSpawner", "spawner_minecart"},
    {"MinecartTNT", "tnt_minecart"},
    {"MushroomCow", "mooshroom"},
    {"Ozelot", "ocelot"},
    {"Painting", "painting"},
    {"Pig", "pig"},
    {"PigZombie", "zombie_pigman"},
    {"PolarBear", "polar_bear"},
    {"PrimedTnt", "tnt"},
    {"Rabbit", "rabbit"},
    {"Sheep", "sheep"},
    {"Shulker", "shulker"},
    {"ShulkerBullet", "shulker_bullet"},
    {"Silverfish", "silverfish"},
    {"Skeleton", "skeleton"},
    {"Slime", "slime"},
    {"SmallFireball", "small_fireball"},
    {"SnowMan", "snow_golem"},
    {"Snowball", "snowball"},
    {"SpectralArrow", "spectral_arrow"},
    {"Spider", "spider"},
    {"Squid", "squid"},
    {"ThrownEgg", "egg"},
    {"ThrownEnderpearl", "ender_pearl"},
    {"ThrownExpBottle", "experience_bottle"},
    {"ThrownPotion", "potion"},
    {"Villager", "villager"},
    {"VillagerGolem", "iron_golem"},
    {"Witch", "witch"},
    {"WitherBoss", "wither"},
    {"WitherSkull", "wither_skull"},
    {"Wolf", "wolf"},
    {"XPOrb", "experience_orb"},
    {"Zombie", "zombie"},
    {"commandblock_minecart", "command_block_minecart"},
    {"ender_crystal", "end_crystal"},
    {"evocation_fangs", "evoker_fangs"},
    {"evocation_illager", "evoker"},
    {"eye_of_ender_signal", "eye_of_ender"},
    {"fireworks_rocket", "firework_rocket"},
    {"illusion_illager", "illusioner"},
    {"snowman", "snow_golem"},
    {"villager_golem", "iron_golem"},
    {"vindication_illager", "vindicator"},
    {"xp_bottle", "experience_bottle"},
    {"xp_orb", "experience_orb"},
};

constexpr std::string_view kNamespace = "minecraft:";

// The renamed id, namespaced; `id` itself when the table does not know it.
template <size_t N>
std::string renamed(const Rename (&table)[N], std::string_view id) {
  const std::string_view bare = id.starts_with(kNamespace) ? id.substr(kNamespace.size()) : id;
  const auto found = std::lower_bound(std::begin(table), std::end(table), bare,
                                      [](const Rename& entry, std::string_view key) { return entry.old_id < key; });
  if (found != std::end(table) && found->old_id == bare) return std::string(kNamespace) + std::string(found->id);
  return std::string(id);
}

// Before 1.11 one id stood for kinds a number told apart.
std::string kind_by_number(const Compound& data, std::string_view id) {
  const auto number = [&](const char* key) {
    const Tag* tag = data.get(key);
    return tag ? tag->int_value().value_or(0) : 0;
  };
  if (id == "EntityHorse") {
    constexpr std::string_view kHorses[] = {"horse", "donkey", "mule", "zombie_horse", "skeleton_horse"};
    const int32_t type = number("Type");
    if (type > 0 && type < 5) return std::string(kNamespace) + std::string(kHorses[type]);
  }
  if (id == "Skeleton" && number("SkeletonType") == 1) return "minecraft:wither_skeleton";
  if (id == "Skeleton" && number("SkeletonType") == 2) return "minecraft:stray";
  if (id == "Guardian" && number("Elder") == 1) return "minecraft:elder_guardian";
  return renamed(kEntities, id);
}

void rename_id_in(Compound& data) {
  const std::string* id = data.get_as<std::string>("id");
  if (id) data.put("id", Tag{kind_by_number(data, *id)});
}

}  // namespace

std::string block_entity_id_1_13(std::string_view id, const BlockState* block) {
  std::string result = renamed(kBlockEntities, id);
  if (result == "minecraft:chest" && block && block->name() == "minecraft:trapped_chest") {
    return "minecraft:trapped_chest";
  }
  return result;
}

void rename_entity_1_13(Compound& data) {
  rename_id_in(data);
  for (const char* key : {"Passengers", "Riding"}) {
    Tag* tag = data.get(key);
    if (auto* list = tag ? std::get_if<ListTag>(&tag->value) : nullptr) {
      for (Tag& item : list->items) {
        if (auto* passenger = std::get_if<Compound>(&item.value)) rename_entity_1_13(*passenger);
      }
    } else if (auto* mount = tag ? std::get_if<Compound>(&tag->value) : nullptr) {
      rename_entity_1_13(*mount);
    }
  }
}

void rename_spawner_entities_1_13(Compound& spawner) {
  // The oldest spawners named their mob alone.
  if (auto old = spawner.take("EntityId"); old && old->as<std::string>() && !spawner.get("SpawnData")) {
    Compound data;
    data.put("id", std::move(*old));
    spawner.put("SpawnData", Tag{std::move(data)});
  }
  if (Tag* data = spawner.get("SpawnData")) {
    if (auto* entity = std::get_if<Compound>(&data->value)) rename_entity_1_13(*entity);
  }
  Tag* potentials = spawner.get("SpawnPotentials");
  auto* list = potentials ? std::get_if<ListTag>(&potentials->value) : nullptr;
  for (size_t i = 0; list && i < list->items.size(); ++i) {
    auto* potential = std::get_if<Compound>(&list->items[i].value);
    Tag* entity = potential ? potential->get("Entity") : nullptr;
    if (auto* compound = entity ? std::get_if<Compound>(&entity->value) : nullptr) rename_entity_1_13(*compound);
  }
}

}  // namespace kubic
