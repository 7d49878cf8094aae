#pragma once
// Files the programs write that may hold secrets (traces carry the CSM keys):
// created 0600, never through a symbolic link, and only as regular files, so
// a trace path can neither clobber another file nor hang on a FIFO.

#include <cstdio>
#include <string>

namespace cvl {

// Opens path for writing from the start ("w"), line-buffered; nullptr with
// error set when it is a link, not a regular file, or cannot be created.
std::FILE* openPrivateOutput(const std::string& path, std::string& error);

// Flushes and closes; false (error set) when anything written was lost.
bool closePrivateOutput(std::FILE* file, const std::string& path, std::string& error);

}  // namespace cvl
