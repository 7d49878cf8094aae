#pragma once
// The driver the programs use: every usable backend in order (the vendor
// D2XX library when installed, then the kernel serial driver with the
// virtual pods), or nullptr when none is usable.

#include <memory>

#include "FtdiDriver.h"

namespace cvl {

std::unique_ptr<FtdiDriver> loadSystemDriver();

}  // namespace cvl
