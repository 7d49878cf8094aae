#pragma once
// One request frame: STX, the command letter, fixed-width uppercase
// hexadecimal fields, ETX. Built by small typed calls so that every frame
// ends in ETX and no field is ever cut or widened.

#include <array>
#include <cstdint>
#include <string_view>

namespace cvl {

inline constexpr std::uint8_t STX = 0x02;
inline constexpr std::uint8_t ETX = 0x03;
inline constexpr std::uint8_t ACK = '!';
// The longest frame the pod takes: 'K' or 'M' with a digit and 32 key digits.
inline constexpr std::size_t kMaxFrameBytes = 40;

class Frame {
public:
    explicit Frame(char letter);

    // Appends value as exactly digits hexadecimal digits. A value that needs
    // more digits makes the frame invalid.
    Frame& hex(std::uint32_t value, unsigned digits);
    // Appends text made of hexadecimal digits (a key text, a tag).
    Frame& text(std::string_view digits);

    const std::uint8_t* data() const { return bytes_.data(); }
    std::uint32_t size() const { return size_; }
    // False when a field did not fit: such a frame is never sent.
    bool valid() const { return valid_; }

private:
    void put(std::uint8_t byte);

    std::array<std::uint8_t, kMaxFrameBytes> bytes_{};
    std::uint32_t size_ = 0;
    bool valid_ = true;
};

}  // namespace cvl
