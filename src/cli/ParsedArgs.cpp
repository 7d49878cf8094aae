#include "cli/ParsedArgs.h"

#include <algorithm>
#include <charconv>

namespace cvl::cli {

std::optional<std::uint64_t> parseDecimal(const std::string& text, std::uint64_t max) {
    std::uint64_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc{} || end != text.data() + text.size() || value > max) return std::nullopt;
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
