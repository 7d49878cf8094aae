#pragma once
// The JSON object of 'info': the load's outcome, the summary and every section.

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "common/Outcome.h"
#include "image/CoffImage.h"

namespace cvl::cli {

// The blocks in the order info shows them: the program's own, or by address
// when no device sorts them into flash and RAM.
std::vector<const SectionRecord*> blocksAsShown(const CoffImage& image);

nlohmann::ordered_json infoJson(const std::string& file, McuType device, OutcomeCode outcome,
                                const std::string& message, const CoffImage& image);

}  // namespace cvl::cli
