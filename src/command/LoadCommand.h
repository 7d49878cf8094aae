#pragma once
// The Load command: makes a program file (COFF, ELF, Intel HEX, raw binary)
// the current program and reports the outcome in the message line.

#include <functional>
#include <string>
#include <string_view>

#include "common/Outcome.h"
#include "common/StatusSink.h"
#include "image/CoffImage.h"
#include "image/CoffReader.h"
#include "image/ProgramReader.h"

namespace cvl {

// Called with the path of every successful load the user asked to remember
// (the window's recent-file list).
using RememberFile = std::function<void(const std::string& path)>;

// The line a load shows: "Reading COFF file is successful" for Ok, the
// failure's message otherwise.
std::string_view loadMessage(OutcomeCode outcome);
// The line a successful load shows: it names the format read ("Reading Intel
// HEX file is successful"); a COFF file gives loadMessage(Ok).
std::string loadedMessage(ProgramFormat format);

// The file's identity: its name without a final ".out" (any case), cut to at
// most 8 bytes without splitting a character.
std::string deriveFileName(std::string_view entryName);

// Loads path into image for device. Shows the outcome with status; passes the
// path to remember (when given) after a successful load.
OutcomeCode loadCoffFile(CoffImage& image, StatusSink& status, const std::string& path, McuType device,
                         const RememberFile& remember = {}, const ReadOptions& options = {});

// Whether the loaded image is the program the path text names for device.
bool imageServes(const CoffImage& image, std::string_view pathText, McuType device);

// The step every programming command starts with: use the loaded image when
// it was loaded from this path text for this device, otherwise load the path
// text for device (remembering it), showing noFile's message when the text
// is empty. Ok when an image is ready.
OutcomeCode ensureImageLoaded(CoffImage& image, StatusSink& status, std::string_view pathText, McuType device,
                              OutcomeCode noFile, const RememberFile& remember, const ReadOptions& options = {});

}  // namespace cvl
