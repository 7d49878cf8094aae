#include "sim/PodStoreModel.h"

#include <cstring>

#include "sim/AtomicFile.h"

namespace cvl::sim {

namespace {
constexpr char kMagic[8] = {'C', 'V', 'L', 'S', 'T', 'O', 'R', '1'};
constexpr std::size_t kHeaderBytes = sizeof kMagic + 7 + kStoreSections * 9 + 16 + 14;

void put24(std::vector<std::uint8_t>& out, std::uint32_t v) {
    out.push_back(static_cast<std::uint8_t>(v >> 16));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
    out.push_back(static_cast<std::uint8_t>(v));
}
std::uint32_t get24(const std::uint8_t* p) { return (p[0] << 16) | (p[1] << 8) | p[2]; }
}  // namespace

bool PodStoreModel::save(const std::string& path, std::string& error) const {
    std::vector<std::uint8_t> out(kMagic, kMagic + sizeof kMagic);
    out.push_back(hasProgram ? 1 : 0);
    out.push_back(marker);
    out.push_back(device);
    out.push_back(csmFlag);
    out.push_back(static_cast<std::uint8_t>(eraseMask >> 8));
    out.push_back(static_cast<std::uint8_t>(eraseMask));
    out.push_back(sectionCount);
    for (const StoredSection& s : sections) {
        put24(out, s.start);
        put24(out, s.length);
        put24(out, s.offset);
    }
    for (std::uint16_t k : keys) {
        out.push_back(static_cast<std::uint8_t>(k >> 8));
        out.push_back(static_cast<std::uint8_t>(k));
    }
    out.insert(out.end(), tag.begin(), tag.end());
    out.insert(out.end(), data.begin(), data.end());
    return writeFileAtomically(path, out, error);
}

bool PodStoreModel::load(const std::string& path, std::string& error) {
    std::vector<std::uint8_t> in;
    const ReadResult read = readWholeFile(path, kHeaderBytes + kStoreDataBytes, in, error);
    if (read == ReadResult::Missing) {
        erase();
        return true;
    }
    if (read == ReadResult::Failed) return false;
    if (in.size() != kHeaderBytes + kStoreDataBytes || std::memcmp(in.data(), kMagic, sizeof kMagic) != 0) {
        error = path + ": not a Corvexlink pod store file";
        return false;
    }
    const std::uint8_t* p = in.data() + sizeof kMagic;
    hasProgram = p[0] == 1;
    marker = p[1];
    device = p[2];
    csmFlag = p[3];
    eraseMask = static_cast<std::uint16_t>((p[4] << 8) | p[5]);
    sectionCount = p[6];
    p += 7;
    for (StoredSection& s : sections) {
        s = {get24(p), get24(p + 3), get24(p + 6)};
        p += 9;
    }
    for (std::uint16_t& k : keys) {
        k = static_cast<std::uint16_t>((p[0] << 8) | p[1]);
        p += 2;
    }
    std::memcpy(tag.data(), p, tag.size());
    p += tag.size();
    data.assign(p, p + kStoreDataBytes);
    return true;
}

}  // namespace cvl::sim
