#pragma once
// Asks where a raw binary goes: a raw binary carries no addresses, so its
// first word's address comes from the user, in hexadecimal.

#include <QString>
#include <cstdint>
#include <optional>

#include "image/McuTable.h"

class QWidget;

namespace cvl::ui {

// Asks for fileName's base address, filled in with the device's flash start;
// an address outside the device is refused in the dialog. Nothing when cancelled.
std::optional<std::uint32_t> askBinaryBase(QWidget* parent, const QString& fileName, McuType device);

}  // namespace cvl::ui
