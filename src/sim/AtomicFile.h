#pragma once
// Whole-file reads, and writes that replace a file only once the new content
// is complete, so a crash never leaves a half-written flash or store file.

#include <cstdint>
#include <string>
#include <vector>

namespace cvl::sim {

bool readWholeFile(const std::string& path, std::vector<std::uint8_t>& bytes, std::string& error);
bool writeFileAtomically(const std::string& path, const std::vector<std::uint8_t>& bytes, std::string& error);

}  // namespace cvl::sim
