#pragma once
// The backends the programs search: the vendor D2XX library when installed,
// then the kernel serial driver with the virtual pods; nullptr when none is
// usable.

#include <memory>

#include "pod/PodPort.h"

namespace cvl {

std::unique_ptr<PodBackend> loadSystemBackends();

}  // namespace cvl
