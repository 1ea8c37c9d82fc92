#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace kubic::testing {

// The shared corpus of schematics written by other tools, if present.
inline std::filesystem::path corpus_dir() {
  if (const char* env = std::getenv("KUBIC_CORPUS_DIR")) return env;
  return KUBIC_CORPUS_DIR;
}

inline std::vector<std::filesystem::path> corpus_files(const std::string& folder) {
  std::vector<std::filesystem::path> out;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(corpus_dir() / folder, ec)) {
    out.push_back(entry.path());
  }
  std::sort(out.begin(), out.end());
  return out;
}

inline std::vector<uint8_t> read_file(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

}  // namespace kubic::testing
