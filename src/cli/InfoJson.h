#pragma once
// The JSON object of 'info': the load's outcome, the summary and every section.

#include <nlohmann/json.hpp>
#include <string>

#include "common/Outcome.h"
#include "image/CoffImage.h"

namespace cvl::cli {

nlohmann::ordered_json infoJson(const std::string& file, McuType device, OutcomeCode outcome,
                                const std::string& message, const CoffImage& image);

}  // namespace cvl::cli
