#include "common/JsonText.h"

#include "common/Text.h"

#include <cmath>

namespace cvl {

std::string jsonText(const nlohmann::ordered_json& value) {
    return value.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

double jsonMs(double ms) { return std::round(ms * 1000.0) / 1000.0; }
double jsonSeconds(double seconds) { return std::round(seconds * 1e6) / 1e6; }

void putText(nlohmann::ordered_json& obj, const std::string& key, const std::string& raw) {
    obj[key] = raw;
    if (!isValidUtf8(raw)) obj[key + "Hex"] = hexBytes(raw);
}

}  // namespace cvl
