#pragma once
// The questions the main window asks in a dialog of their own: which pod,
// and where a raw binary goes. The about box.

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "image/McuTable.h"
#include "pod/PodPort.h"

namespace cvl::win {

std::optional<PodInfo> askWhichPod(HWND parent, const std::vector<PodInfo>& pods, const std::string& currentSerial);
std::optional<std::uint32_t> askBinaryBase(HWND parent, const std::string& fileName, McuType device);
void showAbout(HWND parent);

}  // namespace cvl::win
