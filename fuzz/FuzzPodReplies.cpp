// Answers every frame of the read commands (identify, J, h, g, l), and of a
// whole POD Verify and POD Info, with the fuzzer's bytes: the reply parsing
// must never crash, overrun or hang (the clock is manual, so every time-out
// passes at once).

#include <cstdint>
#include <string>

#include "ImageBuilder.h"
#include "common/ManualClock.h"
#include "pod/PodCommands.h"
#include "ScriptedBackend.h"
#include "command/StoreCommands.h"
#include "store/StoreJob.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static cvl::CoffImage image;
    static const bool loaded = cvl::test::loadSections(
        image, {cvl::test::words(0x338000, 140), cvl::test::words(0x8000, 4), cvl::test::words(0x330000, 3)});
    if (!loaded) return 0;
    const std::string script(reinterpret_cast<const char*>(data), size);
    cvl::ManualClock clock;
    cvl::PodLink link(
        [&] {
            auto d =
                std::make_unique<cvl::test::ScriptedBackend>(cvl::test::ScriptedBackend::Mode::Script, clock, script);
            d->honestFrames = 1;  // the handshake passes; every later reply is the fuzzer's
            return std::unique_ptr<cvl::PodBackend>(std::move(d));
        },
        clock);
    cvl::NullStatusSink status;
    const cvl::CsmKeys keys;
    link.loadDriver();
    cvl::CommandContext ctx{image, link, status, clock, {}, {}};
    cvl::podInfo(ctx, {});
    cvl::podVerify(ctx, {});
    if (link.connectPod(status) == cvl::OutcomeCode::Ok) {
        cvl::PodStoreClient store(link, status, image, keys);
        const auto version = cvl::podIdentify(link);
        if (store.readTag()) (void)cvl::podInfoText(version.value_or(0), store.tagReply());
        store.readCoffInfo();
        store.readCsmPassword();
        store.checkSectionTable();
        link.closePod();
    }
    return 0;
}
