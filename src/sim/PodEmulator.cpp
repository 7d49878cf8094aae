#include "sim/PodEmulator.h"

#include <algorithm>
#include <cstring>

namespace cvl::sim {

namespace {
constexpr std::uint8_t kStx = 0x02;
constexpr std::uint8_t kEtx = 0x03;
constexpr std::uint8_t kAck = '!';
constexpr std::uint8_t kWrongAck = '?';
constexpr std::uint8_t kStrayByte = 0x3F;
constexpr std::size_t kMaxFrameFields = 64;  // longer frames are garbage and dropped
constexpr std::uint32_t kMaxFlashBlock = 40;

// Reads width uppercase-or-lowercase hex digits at pos; false on anything else.
bool hexField(std::string_view text, std::size_t pos, std::size_t width, std::uint32_t& out) {
    if (pos + width > text.size()) return false;
    out = 0;
    for (std::size_t i = pos; i < pos + width; ++i) {
        const char c = text[i];
        unsigned digit;
        if (c >= '0' && c <= '9')
            digit = static_cast<unsigned>(c - '0');
        else if (c >= 'A' && c <= 'F')
            digit = static_cast<unsigned>(c - 'A' + 10);
        else
            return false;
        out = (out << 4) | digit;
    }
    return true;
}

bool keysField(std::string_view text, std::size_t pos, CsmKeys& keys) {
    for (std::size_t i = 0; i < 8; ++i) {
        std::uint32_t w;
        if (!hexField(text, pos + 4 * i, 4, w)) return false;
        keys.words[i] = static_cast<std::uint16_t>(w);
    }
    return true;
}

void put24(std::vector<std::uint8_t>& out, std::uint32_t v) {
    out.push_back(static_cast<std::uint8_t>(v >> 16));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
    out.push_back(static_cast<std::uint8_t>(v));
}
}  // namespace

std::uint64_t WireStats::modelledUs(const WireModel& wire) const {
    const std::uint64_t lineNs = (bytesToPod + bytesToHost) * wire.byteNs();
    return lineNs / 1000 + replies * (wire.enabled ? wire.usbLatencyUs : 0) + podTimeUs;
}

PodEmulator::PodEmulator(EmulatorOptions options) : options_(std::move(options)), target_(options_.device) {}

std::uint32_t PodEmulator::framesOf(char letter) const {
    const auto it = frameCounts_.find(letter);
    return it == frameCounts_.end() ? 0 : it->second;
}

void PodEmulator::receive(const std::uint8_t* bytes, std::size_t size, std::uint64_t sentAtUs) {
    const std::uint64_t byteNs = options_.wire.byteNs();
    for (std::size_t i = 0; i < size && !unplugged_; ++i) {
        for (const Fault& f : options_.faults) {
            if (f.kind == FaultKind::Unplug && hostBytes_ >= f.nth) unplugged_ = true;
        }
        if (unplugged_) break;
        ++hostBytes_;
        ++stats_.bytesToPod;
        const std::uint64_t arrivalNs = std::max(sentAtUs * 1000, inLineFreeNs_) + byteNs;
        inLineFreeNs_ = arrivalNs;
        if (trace_ != nullptr) trace_->record(arrivalNs / 1000, true, &bytes[i], 1);
        frameByte(bytes[i], arrivalNs);
    }
}

std::uint32_t PodEmulator::inboundPending(std::uint64_t nowUs) const {
    const std::uint64_t byteNs = options_.wire.byteNs();
    const std::uint64_t nowNs = nowUs * 1000;
    if (byteNs == 0 || inLineFreeNs_ <= nowNs) return 0;
    return static_cast<std::uint32_t>((inLineFreeNs_ - nowNs + byteNs - 1) / byteNs);
}

std::uint32_t PodEmulator::available(std::uint64_t nowUs) const {
    std::uint32_t n = 0;
    for (const Pending& p : out_) {
        if (p.readyNs > nowUs * 1000) break;
        ++n;
    }
    return n;
}

std::size_t PodEmulator::take(std::uint8_t* out, std::size_t max, std::uint64_t nowUs) {
    std::size_t n = 0;
    while (n < max && !out_.empty() && out_.front().readyNs <= nowUs * 1000) {
        out[n++] = out_.front().byte;
        out_.pop_front();
    }
    return n;
}

std::uint64_t PodEmulator::nextReadyUs() const { return out_.empty() ? 0 : (out_.front().readyNs + 999) / 1000; }

void PodEmulator::purgeReceived(std::uint64_t nowUs) {
    while (!out_.empty() && out_.front().readyNs <= nowUs * 1000) out_.pop_front();
}

void PodEmulator::replug() {
    unplugged_ = false;
    std::erase_if(options_.faults, [](const Fault& f) { return f.kind == FaultKind::Unplug; });
    inFrame_ = false;
}

void PodEmulator::frameByte(std::uint8_t byte, std::uint64_t atNs) {
    if (byte == kStx) {  // a new frame starts; any unfinished one was garbage
        inFrame_ = true;
        frame_.clear();
        return;
    }
    if (!inFrame_) return;
    if (byte == kEtx) {
        inFrame_ = false;
        dispatch(atNs);
        return;
    }
    frame_.push_back(static_cast<char>(byte));
    if (frame_.size() > kMaxFrameFields + 1) inFrame_ = false;
}

void PodEmulator::dispatch(std::uint64_t atNs) {
    if (frame_.empty()) return;
    const char letter = frame_[0];
    const std::uint32_t n = ++frameCounts_[letter];
    const std::string_view fields = std::string_view(frame_).substr(1);

    std::uint64_t delayNs = 0;
    bool stray = false;
    bool wrongAck = false;
    for (const Fault& f : options_.faults) {
        if (!f.matches(letter, n)) continue;
        if (f.kind == FaultKind::Silent) return;
        stray |= f.kind == FaultKind::Stray;
        wrongAck |= f.kind == FaultKind::WrongAck;
        if (f.kind == FaultKind::Delay) delayNs += std::uint64_t{f.delayMs} * 1'000'000;
    }
    const std::uint32_t podUs = podTimeUs(letter, fields);
    Outcome outcome = execute(letter, fields);
    if (outcome.answer) {
        if (wrongAck) outcome.bytes[0] = kWrongAck;
        stats_.podTimeUs += podUs;
        ++stats_.replies;
        queueReply(outcome.bytes, atNs + std::uint64_t{podUs} * 1000 + delayNs);
    }
    // A stray byte follows whatever the frame was answered with.
    if (stray) queueReply({kStrayByte}, atNs);
}

void PodEmulator::queueReply(const std::vector<std::uint8_t>& bytes, std::uint64_t fromNs) {
    const std::uint64_t byteNs = options_.wire.byteNs();
    const std::uint64_t latencyNs = options_.wire.enabled ? std::uint64_t{options_.wire.usbLatencyUs} * 1000 : 0;
    std::uint64_t lineNs = std::max(fromNs, outLineFreeNs_);
    for (std::uint8_t b : bytes) {
        lineNs += byteNs;
        out_.push_back({b, lineNs + latencyNs});
        ++stats_.bytesToHost;
        if (trace_ != nullptr) trace_->record((lineNs + latencyNs) / 1000, false, &b, 1);
    }
    outLineFreeNs_ = lineNs;
}

std::uint32_t PodEmulator::podTimeUs(char letter, std::string_view fields) const {
    if (!options_.wire.enabled) return 0;
    std::string key(1, letter);
    if (letter == 'O') key += std::string(fields.substr(0, 2));
    const auto it = options_.wire.podTimeUs.find(key);
    return it == options_.wire.podTimeUs.end() ? 0 : it->second;
}

PodEmulator::Outcome PodEmulator::execute(char letter, std::string_view fields) {
    // A host that starts over (handshake, SCI boot, algorithm) is done with the
    // store: an access a failed command left open ends here, so the data words
    // that follow go to the target, not into a store page.
    if (storeOpen_ && (letter == 'I' || letter == 'N' || letter == 'M' || letter == 'K')) endStoreAccess(false);
    switch (letter) {
        case 'I':
            return fields.empty() ? Outcome{true, {kAck}} : Outcome{};
        case '?': {
            if (!fields.empty()) return {};
            const unsigned v = options_.version % 100;
            const std::string id = (options_.identifier + "   ").substr(0, 3);
            return {true,
                    {kAck, static_cast<std::uint8_t>(id[0]), static_cast<std::uint8_t>(id[1]),
                     static_cast<std::uint8_t>(id[2]), static_cast<std::uint8_t>('0' + v / 10),
                     static_cast<std::uint8_t>('0' + v % 10)}};
        }
        case 'R':
            if (!fields.empty()) return {};
            mode_ = Mode::Idle;
            flashReady_ = false;
            flashBlock_.clear();
            if (resetHook_) resetHook_();
            return {true, {kAck}};
        case 'N':
        case 'M':
        case 'K':
        case 'O':
        case 'U':
        case 'X':
        case 'Y':
            return targetCommand(letter, fields);
        case 'S': {
            std::uint32_t v;
            if (fields.size() == 4 && hexField(fields, 0, 4, v)) dataWord(static_cast<std::uint16_t>(v));
            return {};
        }
        default:
            return storeCommand(letter, fields);
    }
}

PodEmulator::Outcome PodEmulator::targetCommand(char letter, std::string_view fields) {
    std::uint32_t v = 0;
    CsmKeys keys;
    switch (letter) {
        case 'N':
        case 'M': {
            const std::size_t want = letter == 'N' ? 1 : 33;
            if (fields.size() != want || !hexField(fields, 0, 1, v) || v != deviceCode(target_.device())) return {};
            if (letter == 'M' && (!keysField(fields, 1, keys) || !target_.unlocks(keys))) return {};
            mode_ = Mode::Boot;
            bootStep_ = BootStep::Size;
            streamBroken_ = false;
            flashReady_ = false;
            return {true, {kAck}};
        }
        case 'K':
            if (mode_ != Mode::Boot || fields.size() != 33 || !hexField(fields, 0, 1, v) || v > 1) return {};
            if (!keysField(fields, 1, keys) || !target_.unlocks(keys)) return {};
            mode_ = Mode::Flash;
            flashReady_ = false;
            flashBlock_.clear();
            return {true, {kAck}};
        case 'O':
            return flashOperation(fields);
        default:
            if (fields.size() != 4 || !hexField(fields, 0, 4, v)) return {};
            return bootStream(letter, static_cast<std::uint16_t>(v));
    }
}

PodEmulator::Outcome PodEmulator::bootStream(char letter, std::uint16_t value) {
    if (mode_ != Mode::Boot) return {};
    if (letter == 'X') {
        if (bootStep_ != BootStep::Size || value != 0 || streamBroken_) return {};
        mode_ = Mode::Ran;
        return {true, {kAck}};
    }
    if (letter == 'U') {
        switch (bootStep_) {
            case BootStep::Size:
                if (value == 0) return {};
                blockWords_ = value;
                bootStep_ = BootStep::AddressHigh;
                return {true, {kAck}};
            case BootStep::AddressHigh:
                blockAddress_ = std::uint32_t{value} << 16;
                bootStep_ = BootStep::AddressLow;
                return {true, {kAck}};
            case BootStep::AddressLow:
                blockAddress_ |= value;
                blockFilled_ = 0;
                bootStep_ = BootStep::Data;
                return {true, {kAck}};
            case BootStep::Data:
                streamBroken_ = true;
                return {};
        }
    }
    // 'Y': the last word of a block; the block must be exactly complete.
    if (bootStep_ != BootStep::Data || blockFilled_ + 1 != blockWords_ || streamBroken_) {
        streamBroken_ = true;
        return {};
    }
    target_.ram().write(blockAddress_ + blockFilled_, value);
    bootStep_ = BootStep::Size;
    return {true, {kAck}};
}

PodEmulator::Outcome PodEmulator::flashOperation(std::string_view fields) {
    std::uint32_t code;
    if (mode_ != Mode::Flash || !hexField(fields, 0, 2, code)) return {};
    if (code == 0 && fields.size() == 2) {
        flashReady_ = true;
        return {true, {kAck}};
    }
    std::uint32_t value;
    if (code == 1 && fields.size() == 6 && flashReady_ && hexField(fields, 2, 4, value)) {
        if (!target_.eraseSector(static_cast<std::uint16_t>(value))) return {};
        return {true, {kAck}};
    }
    std::uint32_t address;
    if (code == 2 && fields.size() == 12 && flashReady_ && hexField(fields, 2, 6, address) &&
        hexField(fields, 8, 4, value)) {
        std::vector<std::uint16_t> block;
        block.swap(flashBlock_);
        const bool fits = value >= 1 && value <= kMaxFlashBlock && value == block.size() && target_.inFlash(address) &&
                          target_.inFlash(address + value - 1);
        if (!fits) return {};
        // Programming only clears bits: a word that needs a 0 turned into a 1
        // (no erase, or written twice) fails the algorithm's verify, and the
        // block is not acknowledged.
        for (std::uint32_t i = 0; i < value; ++i) {
            if ((target_.flashWord(address + i) & block[i]) != block[i]) return {};
        }
        for (std::uint32_t i = 0; i < value; ++i) target_.programWord(address + i, block[i]);
        return {true, {kAck}};
    }
    return {};
}

void PodEmulator::dataWord(std::uint16_t value) {
    if (storeOpen_) {
        // Two digits per byte, in the order the bytes stand in the image.
        // Past a full page the commit fails anyway; stop growing.
        if (page_.size() <= kStorePageBytes) {
            page_.push_back(static_cast<std::uint8_t>(value >> 8));
            page_.push_back(static_cast<std::uint8_t>(value));
        }
        return;
    }
    if (mode_ == Mode::Flash) {
        // Flash words travel with their bytes exchanged.
        if (flashBlock_.size() <= kMaxFlashBlock) {
            flashBlock_.push_back(static_cast<std::uint16_t>((value << 8) | (value >> 8)));
        }
        return;
    }
    if (mode_ == Mode::Boot) {
        if (bootStep_ != BootStep::Data || blockFilled_ + 1 >= blockWords_) {
            streamBroken_ = true;
            return;
        }
        target_.ram().write(blockAddress_ + blockFilled_++, value);
    }
}

void PodEmulator::endStoreAccess(bool complete) {
    if (storeWriting_ && complete) {
        store_.hasProgram = true;
        store_.marker = 0x77;
    }
    storeOpen_ = false;
    if (storeWriting_ && storeHook_) storeHook_();
    storeWriting_ = false;
    page_.clear();
}

bool PodEmulator::beginStoreWrite() {
    if (!storeOpen_) return false;
    if (!storeWriting_) {
        store_.erase();
        storeWriting_ = true;
    }
    return true;
}

PodEmulator::Outcome PodEmulator::storeCommand(char letter, std::string_view f) {
    switch (letter) {
        case 'G':
        case 'H':
        case 'i':
            return storeAccess(letter, f);
        case 'V':
        case 'P':
        case 'T':
        case 'Q':
            return storeWrite(letter, f);
        case 'W':
        case 'L':
            return storePage(letter, f);
        case 'J':
        case 'h':
        case 'g':
        case 'l':
            return storeRead(letter, f);
        default:
            return {};
    }
}

// G opens a store access; H ends it with the job complete, i aborts it.
PodEmulator::Outcome PodEmulator::storeAccess(char letter, std::string_view f) {
    if (!f.empty()) return {};
    if (letter == 'G') {
        storeOpen_ = true;
        storeWriting_ = false;
        page_.clear();
        return {};
    }
    if (storeOpen_) endStoreAccess(letter == 'H');
    return {};
}

// The job's description: a section (V), the password (P), the tag (T), the summary (Q).
PodEmulator::Outcome PodEmulator::storeWrite(char letter, std::string_view f) {
    std::uint32_t a = 0, b = 0, c = 0, d = 0;
    if (letter == 'V') {
        if (f.size() != 20 || !hexField(f, 0, 2, a) || !hexField(f, 2, 6, b) || !hexField(f, 8, 6, c) ||
            !hexField(f, 14, 6, d) || a >= kStoreSections || !beginStoreWrite())
            return {};
        store_.sections[a] = {b, c, d};
    } else if (letter == 'P') {
        CsmKeys keys;
        if (f.size() != 32 || !keysField(f, 0, keys) || !beginStoreWrite()) return {};
        store_.keys = keys.words;
    } else if (letter == 'T') {
        std::array<std::uint8_t, 14> tag{};
        if (f.size() != 28) return {};
        for (std::size_t i = 0; i < tag.size(); ++i) {
            if (!hexField(f, 2 * i, 2, a)) return {};
            tag[i] = static_cast<std::uint8_t>(a);
        }
        if (!beginStoreWrite()) return {};
        store_.tag = tag;
    } else {  // Q
        if (f.size() != 8 || !hexField(f, 0, 1, a) || !hexField(f, 1, 1, b) || !hexField(f, 2, 4, c) ||
            !hexField(f, 6, 2, d) || !beginStoreWrite())
            return {};
        store_.device = static_cast<std::uint8_t>(a);
        store_.csmFlag = static_cast<std::uint8_t>(b);
        store_.eraseMask = static_cast<std::uint16_t>(c);
        store_.sectionCount = static_cast<std::uint8_t>(d);
    }
    return {true, {kAck}};
}

// The page of data words sent before: written (W) or compared (L) at a page number.
PodEmulator::Outcome PodEmulator::storePage(char letter, std::string_view f) {
    std::uint32_t a = 0, b = 0;
    std::vector<std::uint8_t> page;
    page.swap(page_);
    if (f.size() != 8 || !hexField(f, 0, 4, a) || !hexField(f, 4, 4, b)) return {};
    const std::size_t at = std::size_t{a} * kStorePageBytes;
    if (b > kStorePageBytes || b != page.size() || at + b > kStoreDataBytes) return {};
    const auto where = store_.data.begin() + static_cast<std::ptrdiff_t>(at);
    if (letter == 'W') {
        if (!beginStoreWrite()) return {};
        std::copy(page.begin(), page.end(), where);
        return {true, {kAck}};
    }
    if (!std::equal(page.begin(), page.end(), where)) return {};
    return {true, {kAck}};
}

// What the store holds: the tag (J), the summary (h), the password (g), a section (l).
PodEmulator::Outcome PodEmulator::storeRead(char letter, std::string_view f) {
    std::uint32_t a = 0;
    if (letter == 'l') {
        if (f.size() != 2 || !hexField(f, 0, 2, a) || a >= kStoreSections) return {};
        Outcome o{true, {kAck}};
        put24(o.bytes, store_.sections[a].start);
        put24(o.bytes, store_.sections[a].length);
        put24(o.bytes, store_.sections[a].offset);
        return o;
    }
    if (!f.empty()) return {};
    if (letter == 'J') {
        Outcome o{true, {kAck, static_cast<std::uint8_t>(store_.hasProgram ? 1 : 0)}};
        o.bytes.insert(o.bytes.end(), store_.tag.begin(), store_.tag.end());
        return o;
    }
    if (letter == 'h') {
        return {true,
                {kAck, store_.marker, store_.device, store_.csmFlag, static_cast<std::uint8_t>(store_.eraseMask >> 8),
                 static_cast<std::uint8_t>(store_.eraseMask), store_.sectionCount}};
    }
    Outcome o{true, {kAck}};  // g
    for (std::uint16_t k : store_.keys) {
        o.bytes.push_back(static_cast<std::uint8_t>(k >> 8));
        o.bytes.push_back(static_cast<std::uint8_t>(k));
    }
    return o;
}

}  // namespace cvl::sim
