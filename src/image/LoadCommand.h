#pragma once
// The Load command: makes a COFF file the current program and reports the
// outcome in the message line.

#include <cstdint>
#include <string>
#include <string_view>

#include "CoffImage.h"
#include "CoffReader.h"
#include "StatusSink.h"

namespace cvl {

// What the load needs from the window: the MCU selector and the recent-file list.
class LoadInputs {
public:
    virtual ~LoadInputs() = default;
    virtual int selectedMcuIndex() const = 0;
    virtual void addRecentFile(const std::string& path) = 0;
};

enum class LoadOutcome : std::uint8_t {
    Ok,
    NotFound,
    OpenFailed,
    NotCoff,
    WrongTarget,
    FileError,
    MemoryError,
    TooLarge,
};

std::string_view loadMessage(LoadOutcome outcome);
std::string_view outcomeName(LoadOutcome outcome);

// The file's identity: its name without a final ".out" (any case), cut to 8 bytes.
std::string deriveFileName(std::string_view entryName);

// Loads path into image for the device selected in inputs. Shows the outcome
// with status; adds the path to the recent files when remember is set and the
// load succeeded.
LoadOutcome loadCoffFile(CoffImage& image, StatusSink& status, LoadInputs& inputs, const std::string& path,
                         bool remember);

// Text with leading and trailing white space removed.
std::string trimmed(std::string_view text);

// The step every programming command starts with: use the loaded image, or
// load the path text, showing prompt when it is empty. True when an image is
// ready.
bool ensureImageLoaded(CoffImage& image, StatusSink& status, LoadInputs& inputs, std::string_view pathText,
                       std::string_view prompt);

}  // namespace cvl
