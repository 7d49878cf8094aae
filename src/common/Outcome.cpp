#include "common/Outcome.h"

#include <array>

namespace cvl {

namespace {
struct Entry {
    OutcomeCode code;
    std::string_view name;
    std::string_view message;
};

constexpr std::array<Entry, kOutcomeCodeCount> kTable{{
    {OutcomeCode::Ok, "Ok", ""},
    {OutcomeCode::NotFound, "NotFound", "The specified COFF file isn't exist"},
    {OutcomeCode::OpenFailed, "OpenFailed", "Fail to open specified file"},
    {OutcomeCode::NotCoff, "NotCoff", "The specified file is not COFF format"},
    {OutcomeCode::WrongTarget, "WrongTarget", "The specified file is not match with MCU"},
    {OutcomeCode::FileError, "FileError", "File exception error happens"},
    {OutcomeCode::MemoryError, "MemoryError", "Memory exception error happens"},
    {OutcomeCode::TooLarge, "TooLarge", "The program in the COFF file is larger than 8 MiB"},
    {OutcomeCode::SectionOutsideMemory, "SectionOutsideMemory",
     "A section of the program lies outside the selected MCU's flash and RAM"},
    {OutcomeCode::SectionsOverlap, "SectionsOverlap", "Two sections of the program overlap in flash"},
    {OutcomeCode::ElfNotC28x, "ElfNotC28x", "The specified ELF file is not for a C28x"},
    {OutcomeCode::ElfNotProgram, "ElfNotProgram", "The specified ELF file holds no program"},
    {OutcomeCode::ElfDamaged, "ElfDamaged", "The specified ELF file is damaged"},
    {OutcomeCode::HexDamaged, "HexDamaged", "The specified Intel HEX file is damaged"},
    {OutcomeCode::HexByteLane, "HexByteLane",
     "The specified Intel HEX file holds one byte per address (8-bit ROM width): make it with hex2000 -romwidth 16"},
    {OutcomeCode::BinaryNeedsBase, "BinaryNeedsBase", "A raw binary file needs its load address: give --base ADDR"},
    {OutcomeCode::NotWholeWords, "NotWholeWords", "The specified binary file is not whole 16-bit words"},
    {OutcomeCode::NoFileToRead, "NoFileToRead", "Please, specify COFF file to read"},
    {OutcomeCode::NoFileToWrite, "NoFileToWrite", "Please, specify COFF file to write target"},
    {OutcomeCode::NoFileToStore, "NoFileToStore", "Please, specify COFF file to write serial flash in Corvexlink POD"},
    {OutcomeCode::NoFileToVerify, "NoFileToVerify",
     "Please, specify COFF file to verify serial flash in Corvexlink POD"},
    {OutcomeCode::NoSectionData, "NoSectionData", "The selected COFF file don't have valid section data"},
    {OutcomeCode::TooManySections, "TooManySections", "The supported section count is to 70"},
    {OutcomeCode::TooMuchData, "TooMuchData", "The data size is bigger than serial flash size in Corvexlink POD"},
    {OutcomeCode::NoFlashSection, "NoFlashSection", "There is no valid section for flash region"},
    {OutcomeCode::CsmPasswordWrong, "CsmPasswordWrong", "CSM Password input is wrong"},
    {OutcomeCode::PermanentLockRefused, "PermanentLockRefused",
     "The program's CSM password is all zero, which locks the device permanently: not written"},
    {OutcomeCode::LockNotConfirmed, "LockNotConfirmed",
     "The program sets a CSM password, which locks the device: not written without confirmation"},
    {OutcomeCode::DriverMissing, "DriverMissing", "Fail to load FTD2XX.DLL"},
    {OutcomeCode::PodNotFound, "PodNotFound", "No Connection to Corvexlink POD"},
    {OutcomeCode::PortFailed, "PortFailed", "Fail to open communication port"},
    {OutcomeCode::PodInitFailed, "PodInitFailed", "Fail to initialize Corvexlink POD"},
    {OutcomeCode::PodChoiceAmbiguous, "PodChoiceAmbiguous",
     "More than one Corvexlink POD is attached: choose one with --pod SERIAL|PATH"},
    {OutcomeCode::SciBootFailed, "SciBootFailed", "Fail to start SCI boot"},
    {OutcomeCode::AlgorithmFailed, "AlgorithmFailed", "Fail to download flash algorithm code"},
    {OutcomeCode::FlashInitFailed, "FlashInitFailed", "Fail to initialize target board for flash memory write"},
    {OutcomeCode::EraseFailed, "EraseFailed", "Fail to erase flash memory"},
    {OutcomeCode::WriteFailed, "WriteFailed", "Fail to write flash memory"},
    {OutcomeCode::ResetFailed, "ResetFailed", "Fail to reset target board"},
    {OutcomeCode::UserProgramFailed, "UserProgramFailed", "Fail to download user program"},
    {OutcomeCode::StoreAccessFailed, "StoreAccessFailed", "Fail to access serial flash in Corvexlink POD"},
    {OutcomeCode::StoreProgramFailed, "StoreProgramFailed", "Fail to write user program in serial flash"},
    {OutcomeCode::StorePasswordFailed, "StorePasswordFailed", "Fail to write csm password information"},
    {OutcomeCode::StoreTagFailed, "StoreTagFailed", "Fail to write tag information"},
    {OutcomeCode::StoreInfoFailed, "StoreInfoFailed", "Fail to write COFF file information"},
    {OutcomeCode::StoreFinishFailed, "StoreFinishFailed", "Fail to finish access to serial flash"},
    {OutcomeCode::StoreNotConfirmed, "StoreNotConfirmed",
     "The job read back from Corvexlink POD is not the one written: the POD holds no valid job"},
    {OutcomeCode::ReadInfoFailed, "ReadInfoFailed", "Fail to read COFF information"},
    {OutcomeCode::NoStoredJob, "NoStoredJob", "There is no COFF file data in serial flash"},
    {OutcomeCode::McuMismatch, "McuMismatch", "The selected MCU type is not same in serial flash"},
    {OutcomeCode::FileMismatch, "FileMismatch", "The selected COFF file is not same in serial flash"},
    {OutcomeCode::SectionMismatch, "SectionMismatch", "The selected COFF file section is not same in serial flash"},
    {OutcomeCode::ReadPasswordFailed, "ReadPasswordFailed", "Fail to read CSM password information in serial flash"},
    {OutcomeCode::DataMismatch, "DataMismatch", "The selected COFF file data is not same in serial flash"},
    {OutcomeCode::PodInfoFailed, "PodInfoFailed", "Fail to read Corvexlink POD Information"},
    {OutcomeCode::UsageError, "UsageError", "The command line is wrong"},
    {OutcomeCode::PodNotListed, "PodNotListed", "No attached Corvexlink POD matches --pod"},
    {OutcomeCode::LogFailed, "LogFailed", "The programming log cannot be written"},
    {OutcomeCode::SerialRefused, "SerialRefused", "The serial number cannot be placed in the program"},
    {OutcomeCode::LedgerFailed, "LedgerFailed", "The serial-number ledger cannot be used"},
    {OutcomeCode::OutputFailed, "OutputFailed", "The output file cannot be written"},
    {OutcomeCode::BlocksTooFarApart, "BlocksTooFarApart",
     "The program's blocks lie too far apart for one binary file: write Intel HEX"},
    {OutcomeCode::BaseNotForProgram, "BaseNotForProgram",
     "--base is only for raw binaries: this file is a program with addresses of its own"},
    {OutcomeCode::OutsideAddressSpace, "OutsideAddressSpace",
     "A block of the program lies outside the C28x address space (32-bit word addresses)"},
}};

constexpr bool tableInOrder() {
    for (std::size_t i = 0; i < kTable.size(); ++i) {
        if (static_cast<std::size_t>(kTable[i].code) != i) return false;
    }
    return true;
}
static_assert(tableInOrder(), "one entry per code, in declaration order");

const Entry* entry(OutcomeCode code) {
    const auto i = static_cast<std::size_t>(code);
    return i < kTable.size() ? &kTable[i] : nullptr;
}
}  // namespace

std::string_view outcomeMessage(OutcomeCode code) {
    const Entry* e = entry(code);
    return e != nullptr ? e->message : std::string_view();
}

std::string_view outcomeName(OutcomeCode code) {
    const Entry* e = entry(code);
    return e != nullptr ? e->name : std::string_view("Unknown");
}

std::string outcomeMessageWith(OutcomeCode code, std::string_view detail) {
    std::string message(outcomeMessage(code));
    if (!detail.empty()) message.append(": ").append(detail);
    return message;
}

}  // namespace cvl
