#pragma once
// Files the programs write that may hold secrets (traces carry the CSM keys):
// created 0600, never through a symbolic link, and only as regular files, so
// a trace path can neither clobber another file nor hang on a FIFO.

#include <cstdio>
#include <string>
#include <string_view>

namespace cvl {

// Opens path for writing from the start ("w"), line-buffered; nullptr with
// error set when it is a link, not a regular file, or cannot be created.
std::FILE* openPrivateOutput(const std::string& path, std::string& error);

// Flushes and closes; false (error set) when anything written was lost.
bool closePrivateOutput(std::FILE* file, const std::string& path, std::string& error);

// Replaces path with bytes only once they are complete and on disk: written
// to a private temporary file of a unique name beside it, then renamed, so a
// failure or a crash never leaves half a file and two writers never collide.
// An interrupt (SIGINT, SIGTERM, SIGHUP) meanwhile takes effect once the
// temporary file is renamed or removed. Refused, with error set, when path is
// a symbolic link, exists as anything but a regular file, or is read-only.
// keepMode: a replaced file keeps its permissions (a new one is private).
bool writeFileAtomically(const std::string& path, std::string_view bytes, std::string& error, bool keepMode = false);

// Whether both paths name one existing file (after links), whatever the names.
bool sameFile(const std::string& a, const std::string& b);

}  // namespace cvl
