#pragma once
// Where running emulators announce their virtual pods (Linux only): one small file per
// pod in $XDG_RUNTIME_DIR/corvexlink/pods/ (or, without a runtime directory,
// <temp>/corvexlink-<uid>/pods/), holding lines of text: the USB description
// the pod answers to, the path of its pseudo-terminal, its serial number
// (may be empty) and the process id of the emulator.
//
// An announcement is a claim any local process could make, so it is
// honoured only when everything about it checks out: the folders are the
// user's own and closed to others, the file is small, regular and the
// user's own, the device is a pseudo-terminal, and the announcing process
// is alive and holds that terminal open.

#include <cstdint>
#include <string>
#include <vector>

namespace cvl {

struct AnnouncedPod {
    std::string description;
    std::string devicePath;
    std::string serialNumber;
    std::int64_t pid = 0;  // the announcing emulator's process id
};

// The folder, created (mode 0700) when missing; empty with error set when
// it, or the folder above it, is not the user's own private folder.
std::string podDirectory(std::string& error);
// Announcements that check out, in file-name order, however many stale
// files lie beside them.
std::vector<AnnouncedPod> announcedPods();
// Why virtual pods are ignored (the folder is not the user's private one),
// or empty when they are not.
std::string podDirectoryProblem();
// Removes the announcements of this user whose emulator is no longer running.
void removeStaleAnnouncements();
// The processes other than this one that have path open (as far as this
// user may see).
std::vector<std::int64_t> otherProcessesHolding(const std::string& path);
// Writes an announcement atomically, never through a link and never over
// the announcement of a running emulator; returns its path, or empty on
// failure.
std::string announcePod(const AnnouncedPod& pod, const std::string& name, std::string& error);

}  // namespace cvl
