#pragma once
// Where running emulators announce their virtual pods: one small file per
// pod in $XDG_RUNTIME_DIR/corvexlink/pods/ (or, without a runtime directory,
// <temp>/corvexlink-<uid>/pods/), holding two or three lines: the USB
// description the pod answers to, the path of its serial device, and its
// serial number (optional).

#include <string>
#include <vector>

namespace cvl {

struct AnnouncedPod {
    std::string description;
    std::string devicePath;
    std::string serialNumber;
};

std::string podDirectory();
// Announcements whose device still exists, in file-name order.
std::vector<AnnouncedPod> announcedPods();
// Writes an announcement atomically; returns its path, or empty on failure.
std::string announcePod(const AnnouncedPod& pod, const std::string& name, std::string& error);

}  // namespace cvl
