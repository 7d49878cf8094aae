#pragma once
// What the programming commands read from the window when they run: the
// file path, the erase mode, the CSM box and the eight key texts.

#include <string>

#include "LoadCommand.h"

namespace cvl {

class CommandInputs : public LoadInputs {
public:
    virtual std::string filePathText() const = 0;
    virtual bool eraseAllChecked() const = 0;
    virtual bool csmChecked() const = 0;
    virtual std::string keyEditText(int index) const = 0;  // KEY0..KEY7
    // The "POD File Name" box, and where POD Write puts the name it stores.
    virtual std::string podFileNameText() const = 0;
    virtual void setPodFileName(const std::string& name) = 0;
};

}  // namespace cvl
