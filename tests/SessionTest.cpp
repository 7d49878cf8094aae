// The window core with no toolkit: a face that answers as a script says, a
// window thread of plain C++, and the in-process emulator as the pod. What
// the Windows dialog relies on that no Qt test reaches goes here.

#include <gtest/gtest.h>

#include <condition_variable>
#include <deque>
#include <future>
#include <mutex>

#include "CoffWriter.h"
#include "ImageBuilder.h"
#include "PodFixture.h"
#include "session/ProgrammerSession.h"

using namespace cvl;
using namespace cvl::session;

namespace {

// The window's thread, as a queue that waitHere() runs until told to stop.
class QueueThread : public WindowThread {
public:
    void post(std::function<void()> f) override {
        const std::lock_guard<std::mutex> lock(mutex_);
        queue_.push_back(std::move(f));
        ready_.notify_one();
    }
    void callAndWait(const std::function<void()>& f) override {
        std::promise<void> done;
        post([&] {
            f();
            done.set_value();
        });
        done.get_future().wait();
    }
    void waitHere() override {
        quit_ = false;
        while (!quit_) {
            std::unique_lock<std::mutex> lock(mutex_);
            ready_.wait(lock, [this] { return !queue_.empty(); });
            auto f = std::move(queue_.front());
            queue_.pop_front();
            lock.unlock();
            f();
        }
    }
    void quitWaiting() override { quit_ = true; }

private:
    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<std::function<void()>> queue_;
    bool quit_ = false;
};

class MemoryStore : public ProfileStore {
public:
    Profile load() override { return stored; }
    void save(const Profile& p) override { stored = p; }
    void saveFileDirectory(const std::string& d) override { stored.fileDirectory = d; }
    void savePodSerial(const std::string& s) override { stored.podSerial = s; }
    Profile stored;
};

// Records what the window would show; answers questions as told.
class ScriptedFace : public SessionFace, public test::RecordingStatus {
public:
    void showMessage(std::string_view text, bool isError) override {
        RecordingStatus::showMessage(text, isError);
        if (whenShown) whenShown(std::string(text));
    }
    void commandStarted() override { RecordingStatus::commandStarted(); }
    void commandEnded() override { RecordingStatus::commandEnded(); }
    void beginProgress(std::uint32_t total) override { RecordingStatus::beginProgress(total); }
    void stepProgress() override { RecordingStatus::stepProgress(); }
    void resetProgress() override { RecordingStatus::resetProgress(); }
    ControlValues controls() const override { return values; }
    void showProfile(const Profile&) override {}
    void showRecentFiles(const std::vector<std::string>&, const std::string&) override {}
    void showPodFileName(const std::string&) override {}
    void setTitle(const std::string& t) override { title = t; }
    void beep() override {}
    void closeWindow() override { closedAfter = messages.size(); }
    bool askYesNo(const std::string&) override { return false; }
    std::optional<PodInfo> askWhichPod(const std::vector<PodInfo>& pods, const std::string&) override {
        asked = pods.size();
        return answer;
    }
    bool canNamePorts() const override { return namesPorts; }
    std::optional<std::uint32_t> askBinaryBase(const std::string&, McuType) override { return std::nullopt; }
    std::string chooseFile(const std::string&) override { return {}; }

    ControlValues values;
    std::string title;
    std::optional<std::size_t> asked;        // how many pods the chooser offered
    std::optional<std::size_t> closedAfter;  // how many lines were shown when the window closed
    std::optional<PodInfo> answer;           // the chooser's answer; nothing: Cancel
    bool namesPorts = false;                 // the chooser takes a port typed by hand
    std::function<void(const std::string&)> whenShown;
};

struct SessionRig {
    SessionRig()
        : session(
              face, thread, store,
              [this] { return std::unique_ptr<PodBackend>(std::make_unique<sim::SimPodBackend>(pod, clock)); }, clock) {
    }
    ManualClock clock;
    sim::PodEmulator pod{sim::EmulatorOptions{}};
    ScriptedFace face;
    QueueThread thread;
    MemoryStore store;
    ProgrammerSession session;
};

std::string programFile() {
    test::CoffLayout layout;
    layout.sections = {test::words(0x338000, 64)};
    return test::writeTempFile("session.out", test::buildCoff(layout));
}

}  // namespace

// The pod chosen before is not attached and another one is: the window asks,
// and a cancelled question sends nothing and leaves the choice as it was.
TEST(Session, AnotherPodIsNeverTakenForTheOneChosenBefore) {
    SessionRig rig;
    rig.store.stored.podSerial = "GONE";
    rig.session.start();
    EXPECT_EQ(rig.face.last().text,
              "The Corvexlink POD chosen before (GONE) is not attached: the first command asks which one to use");
    rig.face.values.filePath = programFile();
    rig.session.targetWrite();
    EXPECT_EQ(rig.face.asked, std::optional<std::size_t>(1));
    EXPECT_EQ(rig.face.last(), (test::ShownMessage{"No Corvexlink POD chosen: nothing was sent", true}));
    EXPECT_EQ(rig.pod.framesOf('K'), 0u);
    EXPECT_EQ(rig.session.podSerial(), "GONE");
    EXPECT_EQ(rig.face.title.find(" - POD "), std::string::npos);
}

// A close asked for while a command runs closes the window once the command
// has ended and every line it showed is on the window, never before.
TEST(Session, ACloseDuringACommandClosesWhenItEnds) {
    SessionRig rig;
    rig.session.start();
    rig.face.values.filePath = programFile();
    bool refused = false;
    rig.face.whenShown = [&](const std::string& text) {
        if (text == "Writing Flash Memory...") refused = !rig.session.closeRequested();
    };
    rig.session.targetWrite();
    EXPECT_TRUE(refused);
    ASSERT_TRUE(rig.face.closedAfter.has_value());
    EXPECT_EQ(*rig.face.closedAfter, rig.face.messages.size());
    EXPECT_EQ(rig.face.last().text.rfind("Flash Write Completed - ", 0), 0u) << rig.face.last().text;
    EXPECT_NE(rig.face.title.find(" - busy: the window closes once the command has ended"), std::string::npos);
    EXPECT_TRUE(rig.session.closeRequested());  // nothing runs any more
}

// The chooser a command opens takes a port typed by hand (Windows): the
// command uses the pod listed under that name, as "Choose POD..." would, and
// the profile's choice stays the user's.
TEST(Session, APortTypedWhenACommandAsksIsTheOneUsed) {
    SessionRig rig;
    rig.store.stored.podSerial = "GONE";
    rig.face.namesPorts = true;
    rig.session.setBackendsNaming([&](std::vector<std::string>) -> PodLink::BackendLoader {
        return [&] { return std::unique_ptr<PodBackend>(std::make_unique<sim::SimPodBackend>(rig.pod, rig.clock)); };
    });
    rig.session.start();
    PodInfo typed;
    typed.devicePath = rig.pod.options().serialNumber;  // as the user typed it
    typed.namedOnly = true;
    rig.face.answer = typed;
    rig.face.values.filePath = programFile();
    rig.session.targetWrite();
    EXPECT_EQ(rig.face.last().text.rfind("Flash Write Completed - ", 0), 0u) << rig.face.last().text;
    EXPECT_EQ(rig.store.stored.podSerial, "GONE");
}
