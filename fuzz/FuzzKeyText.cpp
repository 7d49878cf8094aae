// Key texts as typed into the eight key boxes or given to --csm, and the
// POD file name box: parsed without crashing, always to 16-bit words and at
// most 8 name characters.

#include <cstdint>
#include <cstdlib>
#include <string>

#include "command/CsmKeyText.h"
#include "command/StoreCommands.h"
#include "store/StoreJob.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    (void)cvl::parseKeyText(text);
    const std::string name = cvl::preparePodFileName(text, "fallback");
    if (name.size() > 8) std::abort();
    const cvl::TagRecord tag = cvl::makeTag(name, {2026, 12, 7, 9, 30});
    std::array<std::uint8_t, 15> reply{1};
    std::copy(tag.begin(), tag.end(), reply.begin() + 1);
    (void)cvl::podInfoText(static_cast<std::uint16_t>(size), reply);
    return 0;
}
