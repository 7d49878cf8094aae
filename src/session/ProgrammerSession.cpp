#include "session/ProgrammerSession.h"

#include <algorithm>
#include <filesystem>

#include "command/CsmKeyText.h"
#include "command/LoadCommand.h"
#include "command/StoreCommands.h"
#include "command/TargetCommands.h"
#include "common/Text.h"
#include "platform/Files.h"
#include "pod/PodChoice.h"
#include "pod/SystemBackends.h"

namespace cvl::session {

namespace {

std::string baseTitle() {
    return "TMS320F283x DSP Programmer Ver" + std::to_string(CORVEXLINK_VERSION_MAJOR) + "." +
           std::to_string(CORVEXLINK_VERSION_MINOR) + " - Quillon";
}

// A file that no reader recognises by its content and that only a base address makes a program.
bool namedAsRawBinary(const std::string& path) {
    std::string suffix = std::filesystem::path(nativePath(path)).extension().string();
    std::transform(suffix.begin(), suffix.end(), suffix.begin(), [](unsigned char c) { return std::tolower(c); });
    return suffix == ".bin";
}

std::string fileNameOf(const std::string& path) {
    const std::size_t cut = path.find_last_of("/\\");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

bool fileExists(const std::string& path) {
    std::error_code ec;
    return std::filesystem::exists(nativePath(path), ec);
}

// A message line followed by the warnings, if any, in brackets.
std::string withWarnings(std::string line, const std::vector<std::string>& warnings) {
    for (const std::string& w : warnings) line += " (" + w + ")";
    return line;
}

}  // namespace

ProgrammerSession::ProgrammerSession(SessionFace& face, WindowThread& thread, ProfileStore& store,
                                     PodLink::BackendLoader loader, Clock& clock)
    : face_(face), store_(store), clock_(clock), link_(std::move(loader), clock), worker_(thread, face) {}

ProgrammerSession::~ProgrammerSession() {
    link_.closePod();
    link_.unloadDriver();
    image_.resetImage();
}

void ProgrammerSession::start(const std::string& podName) {
    podNamed_ = podName;
    Profile profile = store_.load();
    // A stored index past the last device means the last one.
    if (profile.mcuType >= kMcuCount) profile.mcuType = static_cast<std::uint8_t>(kMcuCount - 1);
    profile.recentFiles.erase(std::remove_if(profile.recentFiles.begin(), profile.recentFiles.end(),
                                             [](const std::string& p) { return p.empty() || !fileExists(p); }),
                              profile.recentFiles.end());
    if (profile.recentFiles.size() > kMaxRecentFiles) profile.recentFiles.resize(kMaxRecentFiles);
    image_.mcuType = mcuAtIndex(profile.mcuType);
    fileDirectory_ = profile.fileDirectory;
    podFileName_ = profile.podFileName;
    podSerial_ = profile.podSerial;
    recentFiles_ = profile.recentFiles;
    image_.resetImage();
    face_.showProfile(profile);
    face_.setTitle(baseTitle());
    probePods();
    if (!recentFiles_.empty()) loadShown(recentFiles_.front(), false);
}

void ProgrammerSession::end() {
    if (ended_) return;
    ended_ = true;
    const ControlValues c = face_.controls();
    Profile out;
    image_.mcuType = deviceOf(c);
    out.mcuType = static_cast<std::uint8_t>(mcuIndex(image_.mcuType));
    out.eraseAll = c.eraseAll;
    out.csmUse = c.csmUse;
    if (out.csmUse) {
        out.keys = keysFromTexts(c.keyTexts);
        if (keysAllZero(out.keys)) out.keys = {};
    }
    out.fileDirectory = fileDirectory_;
    out.podFileName = podFileName_;
    out.podSerial = podSerial_;
    for (const std::string& path : recentFiles_) {
        if (out.recentFiles.size() == kMaxRecentFiles) break;
        if (fileExists(path)) out.recentFiles.push_back(path);
    }
    store_.save(out);
}

// --- closing and keys --------------------------------------------------------

bool ProgrammerSession::closeRequested() {
    if (!worker_.running()) return true;
    // A command runs to its end; the window closes then, and says so now.
    closeAfterCommand_ = true;
    face_.beep();
    updateTitle();
    return false;
}

EnterAction ProgrammerSession::enterPressed(Focus focus) const {
    // Enter ends the dialog as Exit does, except where it finishes what is
    // typed: in File Path it loads the file, in POD File Name and the CSM
    // keys it only takes the text, and on a push button it presses it.
    switch (focus) {
        case Focus::FilePath:
            return EnterAction::Load;
        case Focus::PodFileName:
        case Focus::CsmKey:
            return EnterAction::TakeText;
        case Focus::PushButton:
            return EnterAction::PressButton;
        case Focus::Other:
            break;
    }
    return EnterAction::Close;
}

std::string ProgrammerSession::title() const {
    std::string title = baseTitle();
    if (listedChoice_) {
        const std::string& name =
            listedChoice_->serialNumber.empty() ? listedChoice_->devicePath : listedChoice_->serialNumber;
        title += " - POD " + escapeControls(name);
    }
    if (closeAfterCommand_) title += " - busy: the window closes once the command has ended";
    return title;
}

void ProgrammerSession::updateTitle() { face_.setTitle(title()); }

// --- commands ----------------------------------------------------------------

void ProgrammerSession::runCommand(const PodJob& job) {
    if (worker_.running()) return;
    if (!choosePodForCommand()) return;
    worker_.run([&, pod = listedChoice_](StatusSink& sink) {
        // On the worker: what touches the window goes to the window's thread.
        CommandContext ctx{
            image_,
            link_,
            sink,
            clock_,
            [this](const std::string& path) { worker_.post([this, path] { addRecentFile(path); }); },
            [this](const std::string& question) { return worker_.ask([&] { return confirmLock(question); }); }};
        lastRun_ = runOnPod(job, ctx, pod);
    });
    if (closeAfterCommand_) {
        face_.closeWindow();
        return;
    }
    updateTitle();
}

// Each command's request is built here, from the controls as they are at the click.
void ProgrammerSession::targetWrite() {
    const ControlValues c = face_.controls();
    const auto source = programSource(c);
    if (!source) return;
    const TargetWriteRequest request{*source, eraseMode(c), csmKeys(c)};
    runCommand({"write", true, request.eraseMode == EraseMode::All,
                [&](CommandContext& ctx) { return cvl::targetWrite(ctx, request); }});
}

void ProgrammerSession::targetReset() {
    runCommand({"reset", false, false, [](CommandContext& ctx) { return cvl::targetReset(ctx, ResetRequest{}); }});
}

void ProgrammerSession::podWrite() {
    const ControlValues c = face_.controls();
    const auto source = programSource(c);
    if (!source) return;
    const PodWriteRequest request{*source, eraseMode(c), csmKeys(c), c.podFileName};
    lastRun_ = {};
    runCommand({"pod-write", true, request.eraseMode == EraseMode::All,
                [&](CommandContext& ctx) { return cvl::podWrite(ctx, request); }});
    if (!lastRun_.outcome.podFileName.empty()) {
        podFileName_ = lastRun_.outcome.podFileName;
        face_.showPodFileName(podFileName_);
    }
}

void ProgrammerSession::podVerify() {
    const auto source = programSource(face_.controls());
    if (!source) return;
    const PodVerifyRequest request{*source};
    runCommand({"pod-verify", true, false, [&](CommandContext& ctx) { return cvl::podVerify(ctx, request); }});
}

void ProgrammerSession::podInfo() {
    runCommand({"pod-info", false, false, [](CommandContext& ctx) { return cvl::podInfo(ctx, PodInfoRequest{}); }});
}

// --- the pod -----------------------------------------------------------------

void ProgrammerSession::usePod(const PodInfo& pod) {
    link_.usePodOnly(pod);
    listedChoice_ = pod;
    // A pod named on the command line is this window's only; the profile keeps the user's choice.
    if (!podNamed_.empty() || pod.serialNumber == podSerial_) return;
    podSerial_ = pod.serialNumber;
    store_.savePodSerial(podSerial_);
}

bool ProgrammerSession::choosePodForCommand() {
    // Listed now, every time: a pod that went away is never reached through
    // the path it had, and one that came is found without a restart.
    link_.loadDriver();
    const std::vector<PodInfo> listed = link_.listPods();
    if (!podNamed_.empty()) {
        const PodMatch match = matchPods(listed, {podNamed_});
        listedChoice_.reset();
        if (match.code != OutcomeCode::Ok) {
            face_.showMessage(outcomeMessageWith(match.code, match.detail), true);
            updateTitle();
            return false;
        }
        usePod(match.pods.front());
        updateTitle();
        return true;
    }
    PodChoice choice = cvl::choosePod(listed, podSerial_);
    if (choice.kind == PodChoice::Kind::Ask) {
        listedChoice_.reset();  // the pod chosen before is not attached, or none was chosen
        updateTitle();
        const auto picked = face_.askWhichPod(listed, podSerial_);
        if (!picked) {
            face_.showMessage("No Corvexlink POD chosen: nothing was sent", true);
            return false;
        }
        // A port typed by hand is listed first and used only if it is there.
        if (picked->namedOnly) {
            const bool named = useNamedPort(picked->devicePath);
            updateTitle();
            return named;
        }
        choice = {PodChoice::Kind::Chosen, *picked};
    }
    if (choice.kind == PodChoice::Kind::Chosen) {
        usePod(choice.pod);
    } else {
        link_.useNoPod();
        listedChoice_.reset();
    }
    updateTitle();
    return true;
}

void ProgrammerSession::probePods() {
    if (!link_.loadDriver()) {
        face_.showMessage(outcomeMessage(OutcomeCode::DriverMissing), true);
        return;
    }
    const std::vector<PodInfo> listed = link_.listPods();
    // What the pod listing warns of (virtual pods ignored, a slow latency
    // timer) follows the line, as the command-line tool prints it.
    std::vector<std::string> warnings = backendWarnings();
    PodChoice choice;
    if (podNamed_.empty()) {
        choice = cvl::choosePod(listed, podSerial_);
    } else {
        const PodMatch match = matchPods(listed, {podNamed_});
        if (match.code != OutcomeCode::Ok) {
            face_.showMessage(withWarnings(outcomeMessageWith(match.code, match.detail), warnings), true);
            return;
        }
        choice = {PodChoice::Kind::Chosen, match.pods.front()};
    }
    if (choice.kind == PodChoice::Kind::NoPod) {
        face_.showMessage(withWarnings(std::string(outcomeMessage(OutcomeCode::PodNotFound)), warnings), true);
    } else if (choice.kind == PodChoice::Kind::Ask) {
        const std::string line = listed.size() == 1
                                     ? "The Corvexlink POD chosen before (" + escapeControls(podSerial_) +
                                           ") is not attached: the first command asks which one to use"
                                     : std::to_string(listed.size()) +
                                           " Corvexlink PODs are attached: the first command asks which one to use";
        face_.showMessage(withWarnings(line, warnings), false);
    } else {
        listedChoice_ = choice.pod;
        if (const std::string advice = podAdvice(choice.pod); !advice.empty()) warnings.push_back(advice);
        face_.showMessage(withWarnings(connectionMessage(choice.pod), warnings), false);
    }
    updateTitle();
}

bool ProgrammerSession::useNamedPort(const std::string& port) {
    const std::string name = trimmed(port);
    if (!naming_ || name.empty()) return false;
    link_.replaceLoader(naming_({name}));
    link_.loadDriver();
    const PodMatch match = matchPods(link_.listPods(), {name});
    if (match.code != OutcomeCode::Ok) {
        face_.showMessage(outcomeMessageWith(match.code, match.detail), true);
        listedChoice_.reset();
        return false;
    }
    podNamed_ = name;
    usePod(match.pods.front());
    face_.showMessage(connectionMessage(match.pods.front()), false);
    return true;
}

void ProgrammerSession::choosePod() {
    if (worker_.running()) return;
    link_.loadDriver();
    const std::vector<PodInfo> listed = link_.listPods();
    if (listed.empty() && !face_.canNamePorts()) {
        face_.showMessage(outcomeMessage(OutcomeCode::PodNotFound), true);
        listedChoice_.reset();
        updateTitle();
        return;
    }
    if (const auto picked = face_.askWhichPod(listed, podSerial_); picked && picked->namedOnly) {
        useNamedPort(picked->devicePath);
    } else if (picked) {
        podNamed_.clear();  // a pod picked from the list: the profile's choice again
        usePod(*picked);
    } else if (listedChoice_ && std::none_of(listed.begin(), listed.end(), [&](const PodInfo& p) {
                   return p.serialNumber == listedChoice_->serialNumber;
               })) {
        listedChoice_.reset();  // the title never names a pod that is gone
    }
    updateTitle();
}

// --- programs ----------------------------------------------------------------

bool ProgrammerSession::binaryBaseFor(const std::string& path, McuType device, std::optional<std::uint32_t>& base) {
    base.reset();
    if (!namedAsRawBinary(path)) return true;
    if (binaryBase_ && binaryBase_->path == path && binaryBase_->device == device) {
        base = binaryBase_->base;
        return true;
    }
    const auto asked = face_.askBinaryBase(fileNameOf(path), device);
    if (!asked) return false;
    binaryBase_ = BinaryBase{path, device, *asked};
    base = *asked;
    return true;
}

void ProgrammerSession::loadShown(const std::string& path, bool remember) {
    const McuType device = selectedMcu();
    std::optional<std::uint32_t> base;
    if (!binaryBaseFor(path, device, base)) return;  // the user did not say where the binary goes
    const RememberFile rememberFile = [this](const std::string& p) { addRecentFile(p); };
    if (loadCoffFile(image_, face_, path, device, remember ? rememberFile : RememberFile{}, ReadOptions{base}) ==
            OutcomeCode::Ok &&
        !image_.warnings.empty()) {
        face_.showMessage(image_.warnings.front(), false);
    }
}

void ProgrammerSession::load() {
    if (worker_.running()) return;
    const std::string path = trimmed(face_.controls().filePath);
    if (path.empty()) {
        face_.showMessage(outcomeMessage(OutcomeCode::NoFileToRead), true);
        return;
    }
    loadShown(path, true);
}

void ProgrammerSession::browse() {
    if (worker_.running()) return;
    const std::string chosen = face_.chooseFile(fileDirectory_);
    if (chosen.empty()) return;
    fileDirectory_ = chosen.substr(0, chosen.size() - fileNameOf(chosen).size());
    store_.saveFileDirectory(fileDirectory_);
    face_.showRecentFiles(recentFiles_, chosen);
    loadShown(chosen, true);
}

void ProgrammerSession::recentFileChosen(std::size_t index) {
    if (worker_.running() || index >= recentFiles_.size()) return;
    const std::string path = trimmed(recentFiles_[index]);
    if (!path.empty()) loadShown(path, true);
}

void ProgrammerSession::addRecentFile(const std::string& path) {
    const auto at = std::find(recentFiles_.begin(), recentFiles_.end(), path);  // exact, case-sensitive
    if (recentFiles_.empty()) {
        // The first entry is listed without changing what the box shows.
        recentFiles_.push_back(path);
        face_.showRecentFiles(recentFiles_, face_.controls().filePath);
        return;
    }
    if (at != recentFiles_.end()) {
        recentFiles_.erase(at);
    } else if (recentFiles_.size() >= kMaxRecentFiles) {
        recentFiles_.resize(kMaxRecentFiles - 1);
    }
    recentFiles_.insert(recentFiles_.begin(), path);
    face_.showRecentFiles(recentFiles_, path);
}

bool ProgrammerSession::confirmLock(const std::string& question) {
    // Once per loaded file: a program the user agreed to lock with is not asked about again.
    if (lockAgreedForLoad_ == image_.loadSerial) return true;
    if (!face_.askYesNo(question)) return false;
    lockAgreedForLoad_ = image_.loadSerial;
    return true;
}

McuType ProgrammerSession::selectedMcu() const { return deviceOf(face_.controls()); }

McuType ProgrammerSession::deviceOf(const ControlValues& c) {
    return mcuAtIndex(c.mcuIndex < kMcuCount ? c.mcuIndex : static_cast<std::uint8_t>(kMcuCount - 1));
}

std::optional<ProgramSource> ProgrammerSession::programSource(const ControlValues& c) {
    ProgramSource source{c.filePath, deviceOf(c), std::nullopt};
    // The loaded program serves as it is; a binary to be loaded needs its base first.
    if (imageServes(image_, source.path, source.device)) return source;
    const std::string path = trimmed(source.path);
    if (path.empty()) return source;
    if (!binaryBaseFor(path, source.device, source.binaryBase)) {
        face_.showMessage("No base address given for " + escapeControls(fileNameOf(path)) + ": nothing was sent", true);
        return std::nullopt;
    }
    return source;
}

EraseMode ProgrammerSession::eraseMode(const ControlValues& c) {
    return c.eraseAll ? EraseMode::All : EraseMode::Intelligent;
}

std::optional<CsmKeys> ProgrammerSession::csmKeys(const ControlValues& c) {
    if (!c.csmUse) return std::nullopt;
    return keysFromTexts(c.keyTexts);
}

}  // namespace cvl::session
