#pragma once
// Status sink and window inputs for tests: records every call.

#include <ostream>
#include <string>
#include <vector>

#include "LoadCommand.h"
#include "StatusSink.h"

namespace cvl::test {

struct ShownMessage {
    std::string text;
    bool isError;
    bool operator==(const ShownMessage&) const = default;
    friend void PrintTo(const ShownMessage& m, std::ostream* os) {
        *os << (m.isError ? "error \"" : "note \"") << m.text << '"';
    }
};

class RecordingStatus : public StatusSink {
public:
    void showMessage(std::string_view text, bool isError) override {
        messages.push_back({std::string(text), isError});
    }
    void setBusy(bool busy) override { busyCalls.push_back(busy); }
    void beginProgress(std::uint32_t total) override { progressTotals.push_back(total); position = 0; }
    void stepProgress() override { ++position; ++steps; }
    void resetProgress() override { position = 0; ++resets; }
    void beginWaitCursor() override { ++waitCursor; }
    void endWaitCursor() override { --waitCursor; }

    const ShownMessage& last() const { return messages.back(); }

    std::vector<ShownMessage> messages;
    std::vector<bool> busyCalls;
    std::vector<std::uint32_t> progressTotals;
    std::uint64_t position = 0;
    std::uint64_t steps = 0;
    int resets = 0;
    int waitCursor = 0;
};

class TestInputs : public LoadInputs {
public:
    int selectedMcuIndex() const override { return mcu; }
    void addRecentFile(const std::string& path) override { recent.push_back(path); }

    int mcu = 2;
    std::vector<std::string> recent;
};

}  // namespace cvl::test
