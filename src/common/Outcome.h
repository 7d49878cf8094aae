#pragma once
// Every way a command can end, with its message and its name for scripts.
// Each layer reports its failures as one of these codes; the message shown
// for a code comes from the one table in Outcome.cpp.

#include <cstdint>
#include <string>
#include <string_view>

namespace cvl {

enum class OutcomeCode : std::uint8_t {
    Ok,
    // Loading the program
    NotFound,
    OpenFailed,
    NotCoff,
    WrongTarget,
    FileError,
    MemoryError,
    TooLarge,
    SectionOutsideMemory,
    SectionsOverlap,
    ElfNotC28x,
    ElfNotProgram,
    ElfDamaged,
    HexDamaged,
    HexByteLane,
    BinaryNeedsBase,
    NotWholeWords,
    // No program named for the command
    NoFileToRead,
    NoFileToWrite,
    NoFileToStore,
    NoFileToVerify,
    // Checks of the loaded program and the keys
    NoSectionData,
    TooManySections,
    TooMuchData,
    NoFlashSection,
    CsmPasswordWrong,
    PermanentLockRefused,
    LockNotConfirmed,
    // Reaching the pod
    DriverMissing,
    PodNotFound,
    PortFailed,
    PodInitFailed,
    PodChoiceAmbiguous,
    // Target Write and Target Reset
    SciBootFailed,
    AlgorithmFailed,
    FlashInitFailed,
    EraseFailed,
    WriteFailed,
    ResetFailed,
    UserProgramFailed,
    // POD Write
    StoreAccessFailed,
    StoreProgramFailed,
    StorePasswordFailed,
    StoreTagFailed,
    StoreInfoFailed,
    StoreFinishFailed,
    StoreNotConfirmed,
    // POD Verify
    ReadInfoFailed,
    NoStoredJob,
    McuMismatch,
    FileMismatch,
    SectionMismatch,
    ReadPasswordFailed,
    DataMismatch,
    // POD Info
    PodInfoFailed,
    // Refusals of the command-line tool, before any board is touched
    UsageError,
    PodNotListed,
    LogFailed,
    SerialRefused,
    LedgerFailed,
    OutputFailed,
    BlocksTooFarApart,
    BaseNotForProgram,
    OutsideAddressSpace,
};

// The text the message line shows for a failure; empty for Ok, whose text
// each command composes itself.
std::string_view outcomeMessage(OutcomeCode code);
// The code's message, then ": detail" when a detail is given: how every refusal with a reason reads.
std::string outcomeMessageWith(OutcomeCode code, std::string_view detail);
// The code's name as scripts see it ("Ok", "AlgorithmFailed", ...).
std::string_view outcomeName(OutcomeCode code);

// Every code, in declaration order (for documentation and tests).
inline constexpr int kOutcomeCodeCount = static_cast<int>(OutcomeCode::OutsideAddressSpace) + 1;

}  // namespace cvl
