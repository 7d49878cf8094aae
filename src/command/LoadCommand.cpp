#include "command/LoadCommand.h"

#include "common/Text.h"
#include "image/ImageChecks.h"
#include "image/ProgramReader.h"
#include "platform/Files.h"

#include <algorithm>
#include <cstdio>
#include <cctype>
#include <filesystem>

namespace cvl {

namespace {
constexpr std::size_t kFileNameBytes = 8;

// The name of the entry the path names, as the file system reports it; a
// trailing separator ("dir/") still names the directory.
std::string entryName(const std::filesystem::path& path) {
    std::filesystem::path p = path;
    while (!p.has_filename() && p.has_relative_path()) p = p.parent_path();
    const std::u8string name = p.filename().u8string();
    return std::string(name.begin(), name.end());
}
}  // namespace

std::string_view loadMessage(OutcomeCode outcome) {
    return outcome == OutcomeCode::Ok ? "Reading COFF file is successful" : outcomeMessage(outcome);
}

namespace {
// The C28x program bus has 22 bits, but its data space is 32 bits wide and
// linkers place data far above 0x3FFFFF (the CLA tables of later devices);
// a device's memory map decides what fits it. Only a block that would wrap
// past the last 32-bit word address is refused here.
constexpr std::uint64_t kDataSpaceWords = 0x100000000ull;

OutcomeCode checkAddressSpace(const CoffImage& image, std::string& message) {
    for (const SectionRecord& s : image.sections) {
        if (std::uint64_t{s.startAddress} + s.lengthWords > kDataSpaceWords) {
            char text[160];
            std::snprintf(text, sizeof text, "Block %s (0x%X, %u words) runs past the end of the C28x address space",
                          s.name.c_str(), s.startAddress, s.lengthWords);
            message = text;
            return OutcomeCode::OutsideAddressSpace;
        }
    }
    return OutcomeCode::Ok;
}
}  // namespace

std::string loadedMessage(ProgramFormat format) {
    if (format == ProgramFormat::Coff || format == ProgramFormat::None)
        return std::string(loadMessage(OutcomeCode::Ok));
    return "Reading " + std::string(formatTitle(format)) + " file is successful";
}

std::string deriveFileName(std::string_view entry) {
    std::string name(entry);
    if (name.size() <= 4) return name;
    std::string ext = name.substr(name.size() - 4);
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    // The linker's .out, and the extensions of the other program files read.
    if (ext == ".OUT" || ext == ".HEX" || ext == ".BIN" || ext == ".ELF") name.resize(name.size() - 4);
    return cutAtCharacter(name, kFileNameBytes);
}

OutcomeCode loadCoffFile(CoffImage& image, StatusSink& status, const std::string& path, McuType device,
                         const RememberFile& remember, const ReadOptions& options) {
    std::error_code ec;
    const bool exists = !path.empty() && std::filesystem::exists(nativePath(path), ec);
    if (!exists) {
        // Only "nothing there" is NotFound: a link loop, a name too long or an
        // unreadable folder on the way means the file could not be opened.
        const OutcomeCode code = ec ? OutcomeCode::OpenFailed : OutcomeCode::NotFound;
        status.showMessage(loadMessage(code), true);
        return code;
    }
    image.fileName = deriveFileName(entryName(nativePath(path)));
    image.mcuType = device;

    std::string detail;
    OutcomeCode outcome = readProgram(path, image, options, detail);
    std::string message = outcome == OutcomeCode::Ok ? loadedMessage(image.format) : std::string(loadMessage(outcome));
    if (!detail.empty()) message += ": " + detail;
    if (outcome == OutcomeCode::Ok) outcome = checkAddressSpace(image, message);
    if (outcome == OutcomeCode::Ok) {
        image.summarize();
        outcome = checkPlacement(image, message);
    }
    if (outcome == OutcomeCode::Ok) {
        image.loadedPath = path;
        image.loadSerial += 1;
        image.warnings = imageWarnings(image);
        if (remember) remember(path);
        status.showMessage(message, false);
        image.imageLoaded = true;
    } else {
        status.showMessage(message, true);
        image.format = ProgramFormat::None;
        image.resetImage();
        image.loadedPath.clear();
        image.warnings.clear();
        image.imageLoaded = false;
    }
    return outcome;
}

bool imageServes(const CoffImage& image, std::string_view pathText, McuType device) {
    // Only while it is the one the user shows: the same path, for the same device.
    return image.imageLoaded && trimmed(pathText) == image.loadedPath && device == image.mcuType;
}

OutcomeCode ensureImageLoaded(CoffImage& image, StatusSink& status, std::string_view pathText, McuType device,
                              OutcomeCode noFile, const RememberFile& remember, const ReadOptions& options) {
    if (imageServes(image, pathText, device)) return OutcomeCode::Ok;
    const std::string path = trimmed(pathText);
    if (path.empty()) {
        status.showMessage(outcomeMessage(noFile), true);
        return noFile;
    }
    return loadCoffFile(image, status, path, device, remember, options);
}

}  // namespace cvl
