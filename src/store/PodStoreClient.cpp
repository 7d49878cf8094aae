#include "store/PodStoreClient.h"

#include <algorithm>
#include <cstring>

#include "pod/DataBatch.h"

namespace cvl {

namespace {
constexpr std::uint32_t kReplyLimitMs = 200;
constexpr std::uint32_t kPageLimitMs = 3000;

std::uint32_t get24(const std::uint8_t* p) { return (std::uint32_t{p[0]} << 16) | (p[1] << 8) | p[2]; }
}  // namespace

bool PodStoreClient::beginStoreAccess() { return link_.send(Frame('G')); }

bool PodStoreClient::endStoreAccess() { return link_.send(Frame('H')); }

void PodStoreClient::abortStoreAccess() { link_.send(Frame('i')); }

bool PodStoreClient::writeProgramStream() {
    status_.showMessage("Writing user program in serial flash...", false);
    return programStream(false);
}

bool PodStoreClient::compareProgramStream() {
    status_.showMessage("Verifying user program in serial flash...", false);
    return programStream(true);
}

bool PodStoreClient::commitPage(bool compare, std::uint16_t page, std::uint16_t bytes) {
    return link_.transact(Frame(compare ? 'L' : 'W').hex(page, 4).hex(bytes, 4), 1, kPageLimitMs).has_value();
}

bool PodStoreClient::programStream(bool compare) {
    DataBatch batch;
    std::uint16_t pageFill = 0;
    std::uint16_t page = 0;
    unsigned sequence = 0;
    const auto end = static_cast<std::size_t>(std::max(image_.summary.flashListEnd, 0));
    for (std::size_t i = 0; i < end && i < image_.sections.size(); ++i) {
        const SectionRecord& s = image_.sections[i];
        if (s.inFlash == 0) continue;
        if (!compare) {
            const Frame header =
                Frame('V').hex(sequence++, 2).hex(s.startAddress, 6).hex(s.lengthWords, 6).hex(s.streamOffset, 6);
            if (!link_.transact(header, 1, kReplyLimitMs)) return false;
        }
        const bool lastSection = i + 1 == end;
        for (std::uint32_t k = 0; k < s.lengthWords; ++k) {
            // The word's two bytes in image order: low-order byte first.
            batch.put('S', static_cast<std::uint16_t>((unsigned{s.data[2 * k]} << 8) | s.data[2 * k + 1]));
            pageFill = static_cast<std::uint16_t>(pageFill + 2);
            bool pageComplete = false;
            if (pageFill >= kStorePageBytes || (lastSection && k + 1 == s.lengthWords)) {
                if (!batch.flush(link_)) return false;
                pageComplete = true;
            } else if (batch.full()) {
                if (!batch.flush(link_)) return false;
            }
            status_.stepProgress();
            if (pageComplete) {
                if (!commitPage(compare, page, pageFill)) {
                    // The pod tells no position; the section and page compared then are known.
                    mismatchAt_ = "section " + s.name + ", page " + std::to_string(page);
                    return false;
                }
                ++page;
                pageFill = 0;
            }
        }
    }
    return true;
}

bool PodStoreClient::writeCsmPassword(bool useKeys) {
    status_.showMessage("Writing CSM password information...", false);
    return link_.transact(Frame('P').text(keyText(useKeys ? keys_ : CsmKeys{})), 1, kReplyLimitMs).has_value();
}

bool PodStoreClient::writeTag(const TagRecord& tag) {
    status_.showMessage("Writing tag data information...", false);
    Frame frame('T');
    for (std::uint8_t byte : tag) frame.hex(byte, 2);
    return link_.transact(frame, 1, kReplyLimitMs).has_value();
}

bool PodStoreClient::writeCoffInfo(bool csmFlag, std::uint16_t eraseMask, std::uint16_t flashSectionCount) {
    status_.showMessage("Writing COFF file information...", false);
    const Frame frame = Frame('Q')
                            .hex(deviceCode(image_.mcuType), 1)
                            .hex(csmFlag ? 1 : 0, 1)
                            .hex(eraseMask, 4)
                            .hex(flashSectionCount & 0xFFu, 2);
    return link_.transact(frame, 1, kReplyLimitMs).has_value();
}

bool PodStoreClient::readTag() {
    const auto reply = link_.transact(Frame('J'), 16, kReplyLimitMs);
    if (!reply) return false;
    std::memcpy(tagReply_.data(), reply->payload(), tagReply_.size());
    return true;
}

StoredJobInfo parseJobInfo(const std::array<std::uint8_t, 6>& p) {
    return {p[0], p[1], p[2] != 0, static_cast<std::uint16_t>((p[3] << 8) | p[4]), p[5]};
}

std::optional<TagRecord> parseStoredTag(const std::array<std::uint8_t, 15>& p) {
    if (p[0] != 1) return std::nullopt;
    TagRecord tag;
    std::copy(p.begin() + 1, p.end(), tag.begin());
    return tag;
}

bool PodStoreClient::confirmJob(const TagRecord& tag, bool csmFlag, std::uint16_t eraseMask,
                                std::uint16_t flashSectionCount) {
    status_.showMessage("Confirming the job stored in serial flash...", false);
    // A csmFlag stored as 2 reads back as true: only the exact flag counts.
    const auto info = link_.transact(Frame('h'), 7, kReplyLimitMs);
    if (!info || info->payload()[2] > 1) return false;
    std::array<std::uint8_t, 6> described{};
    std::copy_n(info->payload(), described.size(), described.begin());
    const StoredJobInfo job = parseJobInfo(described);
    if (job.marker != kStoredJobMarker || job.deviceCode != deviceCode(image_.mcuType) || job.csm != csmFlag ||
        job.eraseMask != eraseMask || job.sectionCount != (flashSectionCount & 0xFF)) {
        return false;
    }
    const auto stored = link_.transact(Frame('J'), 16, kReplyLimitMs);
    if (!stored) return false;
    std::array<std::uint8_t, 15> reply{};
    std::copy_n(stored->payload(), reply.size(), reply.begin());
    return parseStoredTag(reply) == tag;
}

bool PodStoreClient::readCoffInfo() {
    status_.showMessage("Reading COFF information in serial flash...", false);
    const auto reply = link_.transact(Frame('h'), 7, kReplyLimitMs);
    if (!reply) return false;
    std::memcpy(coffInfoReply_.data(), reply->payload(), coffInfoReply_.size());
    return true;
}

bool PodStoreClient::readCsmPassword() {
    status_.showMessage("Reading CSM Password information in serial flash...", false);
    return link_.transact(Frame('g'), 17, kReplyLimitMs).has_value();
}

bool PodStoreClient::checkSectionTable() {
    status_.showMessage("Reading section information in serial flash...", false);
    unsigned n = 0;
    for (const SectionRecord& s : image_.sections) {
        if (s.inFlash == 0) continue;
        const auto reply = link_.transact(Frame('l').hex(n++ & 0xFFu, 2), 10, kReplyLimitMs);
        if (!reply) return false;
        const std::uint8_t* r = reply->payload();
        if (get24(r) != s.startAddress || get24(r + 3) != s.lengthWords || get24(r + 6) != s.streamOffset) {
            return false;
        }
    }
    return true;
}

}  // namespace cvl
