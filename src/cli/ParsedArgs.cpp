#include "cli/ParsedArgs.h"

#include <algorithm>
#include <charconv>

namespace cvl::cli {

bool ParsedArgs::has(const std::string& flag) const {
    return std::find(flags.begin(), flags.end(), flag) != flags.end();
}

std::optional<std::string> ParsedArgs::value(const std::string& option) const {
    for (const auto& [name, v] : values) {
        if (name == option) return v;
    }
    return std::nullopt;
}

std::vector<std::string> ParsedArgs::values_of(const std::string& option) const {
    std::vector<std::string> out;
    for (const auto& [name, v] : values) {
        if (name == option) out.push_back(v);
    }
    return out;
}

namespace {
template <typename T>
std::optional<T> wholeNumber(const std::string& digits, int base) {
    T value = 0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value, base);
    if (digits.empty() || ec != std::errc{} || end != digits.data() + digits.size()) return std::nullopt;
    return value;
}
}  // namespace

std::optional<std::uint32_t> parseWordAddress(const std::string& text) {
    const bool prefixed = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const auto value = wholeNumber<std::uint32_t>(prefixed ? text.substr(2) : text, 16);
    if (!value || *value > 0x3FFFFF) return std::nullopt;
    return value;
}

std::optional<std::uint64_t> parseDecimal(const std::string& text, std::uint64_t max) {
    const auto value = wholeNumber<std::uint64_t>(text, 10);
    if (!value || *value > max) return std::nullopt;
    return value;
}

std::optional<McuType> parseDevice(const std::string& text, bool noneAllowed) {
    if (noneAllowed && text == "none") return kAnyDevice;
    return mcuFromName(text.c_str());
}

std::optional<std::string> readDeviceAndBase(const ParsedArgs& args, bool noneAllowed, McuType& device,
                                             std::optional<std::uint32_t>& base) {
    if (const auto name = args.value("--device")) {
        const auto d = parseDevice(*name, noneAllowed);
        if (!d) return "unknown device '" + *name + "'";
        device = *d;
    }
    if (const auto text = args.value("--base")) {
        base = parseWordAddress(*text);
        if (!base) return "--base takes a hexadecimal word address up to 3FFFFF, such as 80000, not '" + *text + "'";
    }
    return std::nullopt;
}

}  // namespace cvl::cli
