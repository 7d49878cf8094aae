#pragma once
// Runs a shell command line as a user's script would and keeps its output.

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <string>

namespace cvl::test {

struct CommandRun {
    int status;  // exit status, -1 when it did not exit normally
    std::string out;
};

inline CommandRun runCommand(const std::string& commandLine) {
    CommandRun r{-1, {}};
    FILE* p = popen(commandLine.c_str(), "r");
    if (p == nullptr) return r;
    std::array<char, 4096> buf;
    std::size_t n;
    while ((n = fread(buf.data(), 1, buf.size(), p)) > 0) r.out.append(buf.data(), n);
    const int w = pclose(p);
    r.status = WIFEXITED(w) ? WEXITSTATUS(w) : -1;
    return r;
}

}  // namespace cvl::test
