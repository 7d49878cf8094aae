#include "pod/Frame.h"

namespace cvl {

namespace {
constexpr char kHexDigits[] = "0123456789ABCDEF";
}

Frame::Frame(char letter) {
    bytes_[0] = STX;
    bytes_[1] = static_cast<std::uint8_t>(letter);
    bytes_[2] = ETX;
    size_ = 3;
}

void Frame::put(std::uint8_t byte) {
    if (size_ >= bytes_.size()) {
        valid_ = false;
        return;
    }
    bytes_[size_ - 1] = byte;  // over the ETX, which moves one on
    bytes_[size_++] = ETX;
}

Frame& Frame::hex(std::uint32_t value, unsigned digits) {
    if (digits == 0 || digits > 8 || (digits < 8 && (value >> (4 * digits)) != 0)) {
        valid_ = false;
        return *this;
    }
    for (unsigned i = digits; i-- > 0;) put(static_cast<std::uint8_t>(kHexDigits[(value >> (4 * i)) & 0xF]));
    return *this;
}

Frame& Frame::text(std::string_view digits) {
    for (char c : digits) put(static_cast<std::uint8_t>(c));
    return *this;
}

}  // namespace cvl
