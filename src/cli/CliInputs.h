#pragma once
// The window's inputs as given on the command line.

#include <array>
#include <string>

#include "CommandInputs.h"
#include "McuTable.h"

namespace cvl::cli {

class CliInputs : public CommandInputs {
public:
    int selectedMcuIndex() const override { return device; }
    void addRecentFile(const std::string&) override {}
    std::string filePathText() const override { return file; }
    bool eraseAllChecked() const override { return eraseAll; }
    bool csmChecked() const override { return csm; }
    std::string keyEditText(int index) const override { return keys[static_cast<std::size_t>(index)]; }
    std::string podFileNameText() const override { return podName; }
    void setPodFileName(const std::string& name) override { podName = name; }

    McuType device = kDefaultMcu;
    std::string file;
    bool eraseAll = false;
    bool csm = false;
    std::array<std::string, 8> keys{};
    std::string podName;
};

}  // namespace cvl::cli
