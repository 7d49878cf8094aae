#include "StoreCommands.h"

#include <cstdio>
#include <cstring>

namespace cvl {

namespace {
constexpr std::uint32_t kReplyLimitMs = 200;
constexpr std::uint32_t kPageLimitMs = 3000;

std::uint32_t get24(const std::uint8_t* p) { return (std::uint32_t{p[0]} << 16) | (p[1] << 8) | p[2]; }
}  // namespace

bool PodStoreClient::beginStoreAccess() { return sendFrameOnly(link_, buildFrame(link_, "%cG%c", STX, ETX)); }

bool PodStoreClient::endStoreAccess() { return sendFrameOnly(link_, buildFrame(link_, "%cH%c", STX, ETX)); }

void PodStoreClient::abortStoreAccess() { sendFrameOnly(link_, buildFrame(link_, "%ci%c", STX, ETX)); }

bool PodStoreClient::writeProgramStream() {
    status_.showMessage("Writing user program in serial flash...", false);
    return programStream(false);
}

bool PodStoreClient::compareProgramStream() {
    status_.showMessage("Verifying user program in serial flash...", false);
    return programStream(true);
}

bool PodStoreClient::commitPage(bool compare, std::uint16_t page, std::uint16_t bytes) {
    return transact(link_, buildFrame(link_, compare ? "%cL%04X%04X%c" : "%cW%04X%04X%c", STX, page, bytes, ETX), 1,
                    kPageLimitMs);
}

bool PodStoreClient::programStream(bool compare) {
    std::string pending;  // S frames not yet sent: this stream's own batch
    std::uint16_t pageFill = 0;
    std::uint16_t page = 0;
    unsigned sequence = 0;
    const auto end = static_cast<std::size_t>(std::max(image_.summary.flashListEnd, 0));
    for (std::size_t i = 0; i < end && i < image_.sections.size(); ++i) {
        const SectionRecord& s = image_.sections[i];
        if (s.inFlash == 0) continue;
        if (!compare) {
            const std::uint32_t size = buildFrame(link_, "%cV%02X%06X%06X%06X%c", STX, sequence++, s.startAddress,
                                                  s.lengthWords, s.streamOffset, ETX);
            if (!transact(link_, size, 1, kReplyLimitMs)) return false;
        }
        const bool lastSection = i + 1 == end;
        for (std::uint32_t k = 0; k < s.lengthWords; ++k) {
            // The word's two bytes in image order: low-order byte first.
            const unsigned value = (unsigned{s.data[2 * k]} << 8) | s.data[2 * k + 1];
            char frame[8];
            std::snprintf(frame, sizeof frame, "%cS%04X%c", STX, value, ETX);
            pending.append(frame, 7);
            pageFill = static_cast<std::uint16_t>(pageFill + 2);
            bool pageComplete = false;
            if (pageFill >= kStorePageBytes || (lastSection && k + 1 == s.lengthWords)) {
                if (!writeBatch(link_, pending)) return false;
                pageComplete = true;
            } else if (pending.size() >= kBatchBytes) {
                if (!writeBatch(link_, pending)) return false;
            }
            status_.stepProgress();
            if (pageComplete) {
                if (!commitPage(compare, page++, pageFill)) return false;
                pageFill = 0;
            }
        }
    }
    return true;
}

bool PodStoreClient::writeCsmPassword(bool useKeys) {
    status_.showMessage("Writing CSM password information...", false);
    const std::string keys = keyText(useKeys ? keys_ : CsmKeys{});
    return transact(link_, buildFrame(link_, "%cP%s%c", STX, keys.c_str(), ETX), 1, kReplyLimitMs);
}

bool PodStoreClient::writeTag(const TagRecord& tag) {
    status_.showMessage("Writing tag data information...", false);
    char digits[2 * 14 + 1];
    for (std::size_t i = 0; i < tag.size(); ++i) std::snprintf(digits + 2 * i, 3, "%02X", tag[i]);
    return transact(link_, buildFrame(link_, "%cT%s%c", STX, digits, ETX), 1, kReplyLimitMs);
}

bool PodStoreClient::writeCoffInfo(bool csmFlag, std::uint16_t eraseMask, std::uint16_t flashSectionCount) {
    status_.showMessage("Writing COFF file information...", false);
    const std::uint32_t size = buildFrame(link_, "%cQ%X%X%04X%02X%c", STX, deviceCode(image_.mcuType),
                                          csmFlag ? 1u : 0u, unsigned{eraseMask}, flashSectionCount & 0xFFu, ETX);
    return transact(link_, size, 1, kReplyLimitMs);
}

bool PodStoreClient::readTag() {
    if (!transact(link_, buildFrame(link_, "%cJ%c", STX, ETX), 16, kReplyLimitMs)) return false;
    std::memcpy(tagReply_.data(), link_.rxBuffer.data() + 1, tagReply_.size());
    return true;
}

bool PodStoreClient::readCoffInfo() {
    status_.showMessage("Reading COFF information in serial flash...", false);
    if (!transact(link_, buildFrame(link_, "%ch%c", STX, ETX), 7, kReplyLimitMs)) return false;
    std::memcpy(coffInfoReply_.data(), link_.rxBuffer.data() + 1, coffInfoReply_.size());
    return true;
}

bool PodStoreClient::readCsmPassword() {
    status_.showMessage("Reading CSM Password information in serial flash...", false);
    return transact(link_, buildFrame(link_, "%cg%c", STX, ETX), 17, kReplyLimitMs);
}

bool PodStoreClient::checkSectionTable() {
    status_.showMessage("Reading section information in serial flash...", false);
    unsigned n = 0;
    for (const SectionRecord& s : image_.sections) {
        if (s.inFlash == 0) continue;
        if (!transact(link_, buildFrame(link_, "%cl%02X%c", STX, n++ & 0xFFu, ETX), 10, kReplyLimitMs)) return false;
        const std::uint8_t* r = link_.rxBuffer.data() + 1;
        if (get24(r) != s.startAddress || get24(r + 3) != s.lengthWords || get24(r + 6) != s.streamOffset) {
            return false;
        }
    }
    return true;
}

}  // namespace cvl
