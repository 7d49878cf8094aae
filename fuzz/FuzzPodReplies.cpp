// Answers every frame of the read commands (identify, J, h, g, l), and of a
// whole POD Verify and POD Info, with the fuzzer's bytes: the reply parsing
// must never crash, overrun or hang (the clock is manual, so every time-out
// passes at once).

#include <cstdint>
#include <string>

#include "ImageBuilder.h"
#include "ManualClock.h"
#include "PodCommands.h"
#include "ScriptedDriver.h"
#include "StoreOperations.h"

namespace {

class NoInputs : public cvl::CommandInputs {
public:
    int selectedMcuIndex() const override { return 2; }
    void addRecentFile(const std::string&) override {}
    std::string filePathText() const override { return ""; }
    bool eraseAllChecked() const override { return false; }
    bool csmChecked() const override { return false; }
    std::string keyEditText(int) const override { return ""; }
    std::string podFileNameText() const override { return ""; }
    void setPodFileName(const std::string&) override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static cvl::CoffImage image;
    static const bool loaded = cvl::test::loadSections(
        image, {cvl::test::words(0x338000, 140), cvl::test::words(0x8000, 4), cvl::test::words(0x330000, 3)});
    if (!loaded) return 0;
    const std::string script(reinterpret_cast<const char*>(data), size);
    cvl::sim::ManualClock clock;
    cvl::PodLink link(
        [&] {
            auto d =
                std::make_unique<cvl::test::ScriptedDriver>(cvl::test::ScriptedDriver::Mode::Script, clock, script);
            d->honestFrames = 1;  // the handshake passes; every later reply is the fuzzer's
            return std::unique_ptr<cvl::FtdiDriver>(std::move(d));
        },
        clock);
    cvl::NullStatusSink status;
    NoInputs inputs;
    cvl::CsmKeys keys;
    link.loadDriver();
    cvl::CommandContext ctx{image, link, keys, status, inputs, clock};
    cvl::onPodInfo(ctx);
    cvl::onPodVerify(ctx);
    if (link.connectPod(status)) {
        cvl::PodStoreClient store(link, status, image, keys);
        cvl::podIdentify(link);
        if (store.readTag()) (void)cvl::podInfoText(link.podVersion, store.tagReply());
        store.readCoffInfo();
        store.readCsmPassword();
        store.checkSectionTable();
        link.closePod();
    }
    return 0;
}
