// Every pod command against every fault the emulator can inject, at every
// step of the command's exchange. For each run: the failing step's message,
// in red; no success text; the link closed; the window idle again; nothing
// sent after the failure but the store's abort frame; nothing retried but the
// flash initialisation.

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <map>

#include "ImageBuilder.h"
#include "PodFixture.h"
#include "ScriptedBackend.h"
#include "store/StoreJob.h"
#include "command/StoreCommands.h"
#include "command/TargetCommands.h"

namespace cvl {
namespace {

using sim::Fault;
using sim::FaultKind;

const char* const kInitPod = "Fail to initialize Corvexlink POD";

struct Command {
    const char* name;
    std::vector<test::TestSection> program;  // empty: needs no program
    bool (*run)(CommandContext&, test::CommandInputs&);
    // The message for a failure at a frame (its text without STX and ETX).
    std::function<std::string(const std::string& frame)> messageFor;
    bool storeWrite = false;
    std::string successPrefix;
};

// The message a Target Write failing at this frame shows.
std::string targetWriteFailureAt(const std::string& f) {
    switch (f[0]) {
        case 'N':
        case 'M':
            return "Fail to start SCI boot";
        case 'K':
            return "Fail to download flash algorithm code";
        case 'O':
            if (f.compare(1, 2, "00") == 0) return "Fail to initialize target board for flash memory write";
            if (f.compare(1, 2, "01") == 0) return "Fail to erase flash memory";
            return "Fail to write flash memory";
        case 'S':
            return "Fail to write flash memory";
        case 'R':
            return "Fail to reset target board";
        default:
            return "?";
    }
}

std::vector<Command> commands() {
    return {
        {"Target Write (flash)",
         {test::words(0x338000, 60), test::words(0x330000, 45)},
         test::runTargetWrite,
         targetWriteFailureAt,
         false,
         "Flash Write Completed - "},
        {"Target Write (RAM)",
         {test::words(0x8000, 210), test::words(0xC000, 3)},
         test::runTargetWrite,
         [](const std::string& f) {
             return f[0] == 'N' || f[0] == 'M' ? std::string("Fail to start SCI boot")
                                               : std::string("Fail to download user program");
         },
         false,
         "Flash Write Completed - "},
        {"Target Reset",
         {},
         test::runTargetReset,
         [](const std::string&) { return std::string("Fail to reset target board"); },
         false,
         "Target board's reset is successful"},
        {"POD Write",
         {test::words(0x338000, 140), test::words(0x330000, 10)},
         test::runPodWrite,
         [](const std::string& f) {
             switch (f[0]) {
                 case 'G':
                     return std::string("Fail to access serial flash in Corvexlink POD");
                 case 'P':
                     return std::string("Fail to write csm password information");
                 case 'T':
                     return std::string("Fail to write tag information");
                 case 'Q':
                     return std::string("Fail to write COFF file information");
                 case 'H':
                     return std::string("Fail to finish access to serial flash");
                 case 'h':
                 case 'J':
                     return std::string(
                         "The job read back from Corvexlink POD is not the one written: the POD holds no valid job");
                 default:
                     return std::string("Fail to write user program in serial flash");
             }
         },
         true,
         "EEPROM Write Completed - "},
        {"POD Verify",
         {test::words(0x338000, 140), test::words(0x330000, 10)},
         test::runPodVerify,
         [](const std::string& f) {
             switch (f[0]) {
                 case 'G':
                     return std::string("Fail to access serial flash in Corvexlink POD");
                 case 'h':
                     return std::string("Fail to read COFF information");
                 case 'l':
                     return std::string("The selected COFF file section is not same in serial flash");
                 case 'g':
                     return std::string("Fail to read CSM password information in serial flash");
                 case 'H':
                     return std::string("Fail to finish access to serial flash");
                 default:
                     return std::string("The selected COFF file data is not same in serial flash");
             }
         },
         false,
         "EEPROM Verify Completed - "},
        {"POD Info",
         {},
         test::runPodInfo,
         [](const std::string&) { return std::string("Fail to read Corvexlink POD Information"); },
         false,
         "POD Ver: "},
    };
}

// A frame the pod answers; the others fail only when they cannot be written.
bool answered(char letter) { return std::string("GHiS").find(letter) == std::string::npos; }

struct Step {
    std::string frame;
    std::uint32_t nth;          // occurrence of its letter
    std::uint32_t bytesBefore;  // host bytes sent before it
};

struct CommandRun {
    test::PodRig rig;
    CoffImage image;
    test::CommandInputs inputs;
    bool ok = false;

    CommandRun(const Command& c, sim::EmulatorOptions options, const sim::PodStoreModel* store)
        : rig(std::move(options)) {
        if (store != nullptr) rig.pod.store() = *store;
        rig.link.loadDriver();
        inputs.csm = true;  // keys travel (and the stored job has its password read back)
        inputs.keyTexts = {"", "", "", "", "", "", "", ""};
        if (!c.program.empty() && !test::loadSections(image, c.program)) throw std::runtime_error("bad program");
        CommandContext ctx{image, rig.link, rig.status, rig.clock, {}, {}};
        ok = c.run(ctx, inputs);
    }
};

std::vector<Step> stepsOf(const test::PodRig& rig) {
    std::vector<Step> steps;
    std::map<char, std::uint32_t> counts;
    std::uint32_t bytes = 0;
    for (const std::string& write : rig.recorder.writes) {
        std::uint32_t offset = bytes;
        std::string frame;
        for (char ch : write) {
            if (ch == 0x02) {
                frame.clear();
            } else if (ch == 0x03) {
                steps.push_back({frame, ++counts[frame[0]], offset});
                offset += static_cast<std::uint32_t>(frame.size()) + 2;
            } else {
                frame += ch;
            }
        }
        bytes += static_cast<std::uint32_t>(write.size());
    }
    return steps;
}

TEST(FaultMatrix, EveryCommandEveryFaultEveryStep) {
    // A job for POD Verify to compare against, stored with its password.
    sim::PodStoreModel stored;
    {
        CommandRun writer(commands()[3], {}, nullptr);
        ASSERT_TRUE(writer.ok) << writer.rig.status.last().text;
        stored = writer.rig.pod.store();
    }
    std::map<std::string, int> kinds;
    int runs = 0, failures = 0;
    for (const Command& c : commands()) {
        const sim::PodStoreModel* store = std::string(c.name) == "POD Verify" ? &stored : nullptr;
        CommandRun clean(c, {}, store);
        ASSERT_TRUE(clean.ok) << c.name << ": " << clean.rig.status.last().text;
        const std::vector<Step> steps = stepsOf(clean.rig);
        std::uint32_t dataFrames = 0;

        for (const Step& step : steps) {
            const char letter = step.frame[0];
            std::vector<std::pair<Fault, std::string>> faults;
            if (answered(letter)) {
                faults.push_back({{FaultKind::Silent, letter, step.nth, 0}, "silent"});
                faults.push_back({{FaultKind::WrongAck, letter, step.nth, 0}, "wrongack"});
                faults.push_back({{FaultKind::Delay, letter, step.nth, 25000}, "delay"});
            }
            if (letter == 'S' && dataFrames++ % 25 == 0) {  // twice in every batch
                faults.push_back({{FaultKind::Stray, 'S', step.nth, 0}, "stray"});
            }
            if (letter != 'S' || step.nth % 50 == 1) {
                faults.push_back({{FaultKind::Unplug, '*', step.bytesBefore, 0}, "unplug"});
            }
            for (const auto& [fault, kind] : faults) {
                SCOPED_TRACE(std::string(c.name) + " " + sim::describeFault(fault) + " at " + step.frame);
                sim::EmulatorOptions options;
                options.faults = {fault};
                CommandRun r(c, options, store);
                ++runs;
                ++kinds[kind];
                const auto& status = r.rig.status;
                // The first flash initialisation is the one step retried: after a lost or wrong
                // answer it succeeds the second time. (A pod still busy with the first, its
                // answer delayed, misses the second too.)
                const bool retried = letter == 'O' && step.frame.compare(1, 2, "00") == 0 && step.nth == 1 &&
                                     (kind == "silent" || kind == "wrongack");
                const std::string expected = letter == 'I' ? kInitPod : c.messageFor(step.frame);
                // Each invariant on its own, so a failure says which one broke.
                const std::vector<std::pair<const char*, bool>> invariants = {
                    {retried ? "the retried initialisation ends in success" : "the command fails",
                     retried ? r.ok : !r.ok},
                    {retried ? "the success text is shown last" : "the failing step's message is shown last",
                     retried ? status.last().text.rfind(c.successPrefix, 0) == 0
                             : status.last().text == expected || status.last().text.rfind(expected + " (", 0) == 0},
                    {"a failure is shown in red", retried || status.last().isError},
                    {"the link is closed", !r.rig.driver->isOpen()},
                    {"the wait cursor is restored", status.waitCursor == 0},
                    {"the progress bar is reset", status.position == 0},
                    {"the buttons are enabled again", status.busyCalls.empty() || status.busyCalls.back() == false},
                };
                bool good = true;
                for (const auto& [invariant, held] : invariants) {
                    EXPECT_TRUE(held) << "broken: " << invariant << "; last line: " << status.last().text
                                      << (status.last().isError ? " (red)" : "")
                                      << ", expected: " << (retried ? c.successPrefix : expected);
                    good = good && held;
                }
                if (!good) ++failures;
                if (retried) {
                    const auto& calls = r.rig.driver->calls;
                    EXPECT_EQ(r.rig.pod.framesOf('O'), clean.rig.pod.framesOf('O') + 1);
                    EXPECT_GE(std::count(calls.begin(), calls.end(), "purge(rx,tx)"), 2);
                    continue;
                }
                for (const auto& m : status.messages) {
                    EXPECT_EQ(m.text.find("Completed"), std::string::npos);
                    EXPECT_EQ(m.text.rfind("POD Ver:", 0), std::string::npos);
                }
                // Nothing after the failing frame but the abort of a store write; once
                // the access has ended (the read-back after H) there is nothing to abort.
                const bool aborts = c.storeWrite && letter != 'I' && letter != 'h' && letter != 'J';
                const auto frames = r.rig.recorder.frames();
                const auto sent = stepsOf(r.rig);
                const auto at = std::find_if(sent.begin(), sent.end(),
                                             [&](const Step& s) { return s.frame[0] == letter && s.nth == step.nth; });
                if (at != sent.end() && kind != "stray") {
                    std::vector<std::string> after;
                    for (auto it = at + 1; it != sent.end(); ++it) {
                        if (it->frame[0] != 'S' || letter != 'S') after.push_back(it->frame);
                    }
                    if (aborts) {
                        EXPECT_EQ(after, std::vector<std::string>{"i"});
                    } else if (step.frame == "O00" && step.nth == 1) {
                        EXPECT_EQ(after, std::vector<std::string>{"O00"}) << "the one retry";
                    } else if (letter != 'S') {
                        EXPECT_TRUE(after.empty()) << after.front();
                    }
                }
                if (aborts && kind != "unplug") {
                    EXPECT_EQ(frames.back(), "i");
                }
            }
        }

        // Another device answering to the name's place: no connection, never busy.
        sim::EmulatorOptions other;
        other.description = "Corvexlink POD (other)";
        CommandRun r(c, other, store);
        ++runs;
        ++kinds["description"];
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.rig.status.last(), (test::ShownMessage{"No Connection to Corvexlink POD", true}));
        EXPECT_TRUE(r.rig.status.busyCalls.empty());
    }
    std::printf("fault matrix: %zu commands x %zu faults (", commands().size(), kinds.size());
    for (const auto& [kind, n] : kinds) std::printf(" %s:%d", kind.c_str(), n);
    std::printf(" ) over every step = %d runs, %d passed, %d failed\n", runs, runs - failures, failures);
    EXPECT_GT(runs, 200);
}

}  // namespace
}  // namespace cvl

namespace cvl {
namespace {

// Devices that misbehave beyond the emulator's faults: a flood of bytes, and
// garbage of exactly the expected length. Every command fails with a message
// of its own, closes the link, and ends (on the manual clock: no real wait).
TEST(BadPods, FloodAndGarbage) {
    for (auto mode : {test::ScriptedBackend::Mode::Flood, test::ScriptedBackend::Mode::Garbage}) {
        for (int honest : {0, 1}) {  // misbehaving from the handshake on, or right after it
            for (const Command& c : commands()) {
                SCOPED_TRACE(std::string(c.name) +
                             (mode == test::ScriptedBackend::Mode::Flood ? " flood" : " garbage") + " after " +
                             std::to_string(honest) + " honest frames");
                ManualClock clock;
                PodLink link(
                    [&] {
                        auto d = std::make_unique<test::ScriptedBackend>(mode, clock);
                        d->honestFrames = honest;
                        return std::unique_ptr<PodBackend>(std::move(d));
                    },
                    clock);
                link.loadDriver();
                test::RecordingStatus status;
                test::CommandInputs inputs;
                CoffImage image;
                if (!c.program.empty()) {
                    ASSERT_TRUE(test::loadSections(image, c.program));
                }
                CommandContext ctx{image, link, status, clock, {}, {}};
                const auto start = clock.nowMs();
                EXPECT_FALSE(c.run(ctx, inputs));
                EXPECT_TRUE(status.last().isError) << status.last().text;
                EXPECT_EQ(status.last().text.find("Completed"), std::string::npos);
                EXPECT_FALSE(link.podConnected());
                EXPECT_EQ(status.waitCursor, 0);
                EXPECT_LT(clock.nowMs() - start, 60000u) << "bounded by the limits";
                if (honest == 0) {
                    EXPECT_EQ(status.last().text, kInitPod);
                }
            }
        }
    }
}

}  // namespace
}  // namespace cvl
