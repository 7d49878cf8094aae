#pragma once
// The frames that write and read the pod's serial-flash store, and the data
// stream that moves the program's flash words into it (or has the pod
// compare them with what it holds), page by page.

#include <array>
#include <optional>
#include <cstdint>
#include <string>

#include "common/StatusSink.h"
#include "image/CoffImage.h"
#include "pod/PodCommands.h"
#include "pod/PodLink.h"

namespace cvl {

inline constexpr std::uint32_t kStorePageBytes = 264;
inline constexpr std::uint8_t kStoredJobMarker = 0x77;

// The tag that names a stored job: 8 name bytes (zero-filled), the year
// (high byte first), month, day, hour and minute.
using TagRecord = std::array<std::uint8_t, 14>;

// The job description the pod returns for h.
struct StoredJobInfo {
    std::uint8_t marker = 0;  // kStoredJobMarker when a complete job is stored
    std::uint8_t deviceCode = 0;
    bool csm = false;
    std::uint16_t eraseMask = 0;
    std::uint8_t sectionCount = 0;
};
// h's six bytes after the acknowledgement: marker, device, CSM flag, mask (high byte first), count.
StoredJobInfo parseJobInfo(const std::array<std::uint8_t, 6>& payload);
// J's fifteen bytes after the acknowledgement: a flag (1: a tag is stored), then the tag.
std::optional<TagRecord> parseStoredTag(const std::array<std::uint8_t, 15>& payload);

class PodStoreClient {
public:
    PodStoreClient(PodLink& link, StatusSink& status, const CoffImage& image, const CsmKeys& keys)
        : link_(link), status_(status), image_(image), keys_(keys) {}

    bool beginStoreAccess();
    bool endStoreAccess();
    void abortStoreAccess();
    bool writeProgramStream();
    bool writeCsmPassword(bool useKeys);
    bool writeTag(const TagRecord& tag);
    bool writeCoffInfo(bool csmFlag, std::uint16_t eraseMask, std::uint16_t flashSectionCount);
    bool readTag();
    // Reads the job's description and tag back after a write: true when the
    // pod holds a complete job with exactly this description and tag.
    bool confirmJob(const TagRecord& tag, bool csmFlag, std::uint16_t eraseMask, std::uint16_t flashSectionCount);
    bool readCoffInfo();
    bool readCsmPassword();
    bool checkSectionTable();
    bool compareProgramStream();

    // The bytes after the ACK of the last successful J and h replies.
    const std::array<std::uint8_t, 15>& tagReply() const { return tagReply_; }
    StoredJobInfo coffInfo() const { return parseJobInfo(coffInfoReply_); }
    // After a compare the pod refused: "section NAME, page N", what was being compared.
    const std::string& mismatchAt() const { return mismatchAt_; }

private:
    // Sends every flash word, committing (W) or comparing (L) each full page
    // and the last one; with headers, each section starts with its V frame.
    bool programStream(bool compare);
    bool commitPage(bool compare, std::uint16_t page, std::uint16_t bytes);

    PodLink& link_;
    StatusSink& status_;
    std::string mismatchAt_;
    const CoffImage& image_;
    const CsmKeys& keys_;
    std::array<std::uint8_t, 15> tagReply_{};
    std::array<std::uint8_t, 6> coffInfoReply_{};
};

}  // namespace cvl
