#pragma once
// Status sink and window inputs for tests: records every call.

#include <array>
#include <ostream>
#include <string>
#include <vector>

#include "CommandInputs.h"
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
    void showMessage(std::string_view text, bool isError) override { messages.push_back({std::string(text), isError}); }
    void setBusy(bool busy) override { busyCalls.push_back(busy); }
    void beginProgress(std::uint32_t total) override {
        progressTotals.push_back(total);
        position = 0;
    }
    void stepProgress() override {
        ++position;
        ++steps;
    }
    void resetProgress() override {
        position = 0;
        ++resets;
    }
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

// Everything the window's controls hold, as plain fields.
class WindowInputs : public CommandInputs {
public:
    int selectedMcuIndex() const override { return mcu; }
    void addRecentFile(const std::string& p) override { recent.push_back(p); }
    std::string filePathText() const override { return path; }
    bool eraseAllChecked() const override { return eraseAll; }
    bool csmChecked() const override { return csm; }
    std::string keyEditText(int i) const override { return keyTexts[static_cast<std::size_t>(i)]; }
    std::string podFileNameText() const override { return podNameBox; }
    void setPodFileName(const std::string& name) override {
        podFileName = name;
        podNameBox = name;
    }

    int mcu = 2;
    std::vector<std::string> recent;
    std::string path;
    bool eraseAll = false;
    bool csm = false;
    std::array<std::string, 8> keyTexts{};
    std::string podNameBox;
    std::string podFileName;
};

}  // namespace cvl::test
