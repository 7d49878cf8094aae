#pragma once
// "Choose POD...": the pods listed now, one line each (serial number, device
// path, backend); the user picks the one the commands use.

#include <QString>
#include <optional>
#include <vector>

#include "pod/PodPort.h"

class QWidget;

namespace cvl::ui {

// Asks which of pods to use, the one with currentSerial selected first;
// nothing when the user cancels.
std::optional<PodInfo> askWhichPod(QWidget* parent, const std::vector<PodInfo>& pods, const QString& currentSerial);

}  // namespace cvl::ui
