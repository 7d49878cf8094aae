#pragma once
// The FTDI D2XX calls the pod link uses, as one interface. Each backend (the
// vendor library, the kernel serial driver, the in-process emulator) is one
// implementation; argument meanings and status codes are those of D2XX.

#include <cstdint>

namespace cvl {

using FtHandle = void*;
using FtStatus = std::uint32_t;

inline constexpr FtStatus FT_OK = 0;
inline constexpr FtStatus FT_INVALID_HANDLE = 1;
inline constexpr FtStatus FT_DEVICE_NOT_FOUND = 2;
inline constexpr FtStatus FT_DEVICE_NOT_OPENED = 3;
inline constexpr FtStatus FT_IO_ERROR = 4;
inline constexpr FtStatus FT_INVALID_PARAMETER = 6;
inline constexpr FtStatus FT_OTHER_ERROR = 18;

inline constexpr std::uint32_t FT_LIST_NUMBER_ONLY = 0x80000000;
inline constexpr std::uint32_t FT_LIST_BY_INDEX = 0x40000000;
inline constexpr std::uint32_t FT_OPEN_BY_DESCRIPTION = 2;
inline constexpr std::uint8_t FT_BITS_8 = 8;
inline constexpr std::uint8_t FT_STOP_BITS_1 = 0;
inline constexpr std::uint8_t FT_PARITY_NONE = 0;
inline constexpr std::uint16_t FT_FLOW_NONE = 0x0000;
inline constexpr std::uint32_t FT_PURGE_RX = 1;
inline constexpr std::uint32_t FT_PURGE_TX = 2;

// Descriptions are at most 63 characters plus the terminating NUL.
inline constexpr std::uint32_t kFtDescriptionBytes = 64;

class FtdiDriver {
public:
    virtual ~FtdiDriver() = default;

    // FT_LIST_NUMBER_ONLY: arg1 is a uint32_t* that receives the count.
    // FT_LIST_BY_INDEX | FT_OPEN_BY_DESCRIPTION: arg1 is the index (cast to a
    // pointer), arg2 a 64-byte buffer for the description.
    virtual FtStatus listDevices(void* arg1, void* arg2, std::uint32_t flags) = 0;
    // FT_OPEN_BY_DESCRIPTION: arg is the NUL-terminated description.
    virtual FtStatus openEx(void* arg, std::uint32_t flags, FtHandle* handle) = 0;
    virtual FtStatus close(FtHandle handle) = 0;
    virtual FtStatus resetDevice(FtHandle handle) = 0;
    virtual FtStatus getLatencyTimer(FtHandle handle, std::uint8_t* ms) = 0;
    virtual FtStatus setLatencyTimer(FtHandle handle, std::uint8_t ms) = 0;
    virtual FtStatus setBaudRate(FtHandle handle, std::uint32_t baud) = 0;
    virtual FtStatus setDataCharacteristics(FtHandle handle, std::uint8_t bits, std::uint8_t stop,
                                            std::uint8_t parity) = 0;
    virtual FtStatus setFlowControl(FtHandle handle, std::uint16_t flow, std::uint8_t xon, std::uint8_t xoff) = 0;
    virtual FtStatus setTimeouts(FtHandle handle, std::uint32_t readMs, std::uint32_t writeMs) = 0;
    virtual FtStatus purge(FtHandle handle, std::uint32_t mask) = 0;
    virtual FtStatus write(FtHandle handle, const void* data, std::uint32_t size, std::uint32_t* written) = 0;
    virtual FtStatus getStatus(FtHandle handle, std::uint32_t* rxQueue, std::uint32_t* txQueue,
                               std::uint32_t* events) = 0;
    // Blocks up to the read time-out for size bytes.
    virtual FtStatus read(FtHandle handle, void* data, std::uint32_t size, std::uint32_t* got) = 0;
    virtual FtStatus getQueueStatus(FtHandle handle, std::uint32_t* rxQueue) = 0;
};

}  // namespace cvl
