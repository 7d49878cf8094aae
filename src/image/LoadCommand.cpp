#include "LoadCommand.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

namespace cvl {

namespace {
constexpr std::size_t kFileNameBytes = 8;

LoadOutcome fromReadResult(CoffReadResult r) {
    switch (r) {
        case CoffReadResult::Ok:
            return LoadOutcome::Ok;
        case CoffReadResult::OpenFailed:
            return LoadOutcome::OpenFailed;
        case CoffReadResult::NotCoff:
            return LoadOutcome::NotCoff;
        case CoffReadResult::WrongTarget:
            return LoadOutcome::WrongTarget;
        case CoffReadResult::FileError:
            return LoadOutcome::FileError;
        case CoffReadResult::MemoryError:
            return LoadOutcome::MemoryError;
        case CoffReadResult::TooLarge:
            return LoadOutcome::TooLarge;
    }
    return LoadOutcome::FileError;
}

// The name of the entry the path names, as the file system reports it; a
// trailing separator ("dir/") still names the directory.
std::string entryName(const std::filesystem::path& path) {
    std::filesystem::path p = path;
    while (!p.has_filename() && p.has_relative_path()) p = p.parent_path();
    return p.filename().string();
}
}  // namespace

std::string_view loadMessage(LoadOutcome outcome) {
    switch (outcome) {
        case LoadOutcome::Ok:
            return "Reading COFF file is successful";
        case LoadOutcome::NotFound:
            return "The specified COFF file isn't exist";
        case LoadOutcome::OpenFailed:
            return "Fail to open specified file";
        case LoadOutcome::NotCoff:
            return "The specified file is not COFF format";
        case LoadOutcome::WrongTarget:
            return "The specified file is not match with MCU";
        case LoadOutcome::FileError:
            return "File exception error happens";
        case LoadOutcome::MemoryError:
            return "Memory exception error happens";
        case LoadOutcome::TooLarge:
            return "The program in the COFF file is larger than 8 MiB";
    }
    return "";
}

std::string_view outcomeName(LoadOutcome outcome) {
    switch (outcome) {
        case LoadOutcome::Ok:
            return "Ok";
        case LoadOutcome::NotFound:
            return "NotFound";
        case LoadOutcome::OpenFailed:
            return "OpenFailed";
        case LoadOutcome::NotCoff:
            return "NotCoff";
        case LoadOutcome::WrongTarget:
            return "WrongTarget";
        case LoadOutcome::FileError:
            return "FileError";
        case LoadOutcome::MemoryError:
            return "MemoryError";
        case LoadOutcome::TooLarge:
            return "TooLarge";
    }
    return "";
}

std::string deriveFileName(std::string_view entry) {
    std::string name(entry);
    if (name.size() <= 4) return name;
    std::string ext = name.substr(name.size() - 4);
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    if (ext == ".OUT") name.resize(name.size() - 4);
    if (name.size() > kFileNameBytes) name.resize(kFileNameBytes);
    return name;
}

std::string trimmed(std::string_view text) {
    const auto isSpace = [](unsigned char c) { return std::isspace(c) != 0; };
    auto first = std::find_if_not(text.begin(), text.end(), isSpace);
    auto last = std::find_if_not(text.rbegin(), text.rend(), isSpace).base();
    return first < last ? std::string(first, last) : std::string();
}

LoadOutcome loadCoffFile(CoffImage& image, StatusSink& status, LoadInputs& inputs, const std::string& path,
                         bool remember) {
    std::error_code ec;
    if (path.empty() || !std::filesystem::exists(path, ec)) {
        status.showMessage(loadMessage(LoadOutcome::NotFound), true);
        return LoadOutcome::NotFound;
    }
    image.fileName = deriveFileName(entryName(path));
    image.mcuType = static_cast<McuType>(inputs.selectedMcuIndex() & 0xFF);

    const LoadOutcome outcome = fromReadResult(readCoff(path, image));
    if (outcome == LoadOutcome::Ok) {
        image.summarize();
        if (remember) inputs.addRecentFile(path);
        status.showMessage(loadMessage(outcome), false);
        image.imageLoaded = 1;
    } else {
        status.showMessage(loadMessage(outcome), true);
        image.resetImage();
        image.imageLoaded = 0;
    }
    return outcome;
}

bool ensureImageLoaded(CoffImage& image, StatusSink& status, LoadInputs& inputs, std::string_view pathText,
                       std::string_view prompt) {
    if (image.imageLoaded == 1) return true;
    const std::string path = trimmed(pathText);
    if (path.empty()) {
        status.showMessage(prompt, true);
        return false;
    }
    return loadCoffFile(image, status, inputs, path, true) == LoadOutcome::Ok;
}

}  // namespace cvl
