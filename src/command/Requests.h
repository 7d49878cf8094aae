#pragma once
// What each command is asked to do, as plain values. Front ends build them
// (the window from its controls at the moment of the click, the command-line
// tool from its options); the commands never read a control.

#include <optional>
#include <string>

#include "image/McuTable.h"
#include "pod/PodCommands.h"

namespace cvl {

enum class EraseMode : std::uint8_t {
    Intelligent,  // the sectors the program's flash sections touch
    All,          // every sector of the device
};

// What the user agreed to about a program that sets a CSM password: such a
// program locks the device, and one whose password is all zero locks it for
// ever.
enum class LockConsent : std::uint8_t {
    None,           // ask (where someone can be asked), else refuse
    Lock,           // a password other than all zero may be written
    PermanentLock,  // an all-zero password too
};

// The program a command works on: used as loaded when an image is loaded,
// otherwise loaded from path (as typed) for device.
struct ProgramSource {
    std::string path;
    McuType device = kDefaultMcu;
    std::optional<std::uint32_t> binaryBase;  // a raw binary's load address (word address)
};

struct TargetWriteRequest {
    ProgramSource program;
    EraseMode eraseMode = EraseMode::Intelligent;
    std::optional<CsmKeys> keys;  // present when the CSM box is ticked
    LockConsent lock = LockConsent::None;
};

struct ResetRequest {};

struct PodWriteRequest {
    ProgramSource program;
    EraseMode eraseMode = EraseMode::Intelligent;
    std::optional<CsmKeys> keys;
    std::string podFileName;  // as typed; empty: the program's file name
    LockConsent lock = LockConsent::None;
};

struct PodVerifyRequest {
    ProgramSource program;
};

struct PodInfoRequest {};

}  // namespace cvl
