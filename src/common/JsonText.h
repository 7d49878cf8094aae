#pragma once
// JSON output that is always valid: text from outside that is not UTF-8 is
// replaced (U+FFFD) in the text, and its exact bytes are kept as hex in a
// field of its own.

#include <nlohmann/json.hpp>
#include <string>

namespace cvl {

// The object as one line of JSON; never throws.
std::string jsonText(const nlohmann::ordered_json& value);

// Milliseconds and seconds for JSON, rounded to microseconds (no float noise).
double jsonMs(double ms);
double jsonSeconds(double seconds);

// Sets obj[key] to raw; when raw is not UTF-8, also obj[key + "Hex"] to its bytes.
void putText(nlohmann::ordered_json& obj, const std::string& key, const std::string& raw);

}  // namespace cvl
