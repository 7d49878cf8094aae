#pragma once
// The raw binary's base-address question, the same in every face: what it
// says, what it offers, and which answers it takes.

#include <cstdint>
#include <optional>
#include <string>

#include "image/McuTable.h"

namespace cvl::session {

// "NAME is a raw binary. Word address of its first word (hexadecimal):"
std::string baseAddressQuestion(const std::string& fileName);
// The device's flash start, as six hexadecimal digits.
std::string offeredBaseText(McuType device);
// The word address typed (1 to 6 hexadecimal digits, 0x allowed) when it
// lies in the device's flash or boot RAM; otherwise nothing, with refusal
// set to what the dialog shows.
std::optional<std::uint32_t> baseFromText(const std::string& text, McuType device, std::string& refusal);

}  // namespace cvl::session
