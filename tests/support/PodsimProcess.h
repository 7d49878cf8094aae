#pragma once
// corvexlink-podsim and corvexlink-cli as processes, as a user runs them:
// each test's emulators announce their pods in a runtime folder of the test
// run's own, so parallel runs never see each other's pods.

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "RunCommand.h"

namespace cvl::test {

namespace fs = std::filesystem;

// A file's bytes; empty when it cannot be read.
inline std::string fileBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline fs::path scratch(const std::string& name) {
    const fs::path dir = fs::temp_directory_path() / ("corvexlink-e2e-" + std::to_string(::getpid()));
    fs::create_directories(dir / "runtime");
    return dir / name;
}

// A running emulator with its own runtime directory, so parallel test runs
// never see each other's pods.
class Podsim {
public:
    // runtime: the folder its pod is announced in (the test run's own by default).
    explicit Podsim(const std::vector<std::string>& args, std::string runtime = {}) {
        int out[2];
        if (pipe(out) != 0) return;
        if (runtime.empty()) runtime = scratch("runtime").string();  // before fork: the name holds our pid
        pid_ = fork();
        if (pid_ == 0) {
            dup2(out[1], STDOUT_FILENO);
            ::close(out[0]);
            setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
            std::vector<char*> argv{const_cast<char*>(CORVEXLINK_PODSIM_PATH)};
            for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(127);
        }
        ::close(out[1]);
        // The emulator prints one line once its pod is announced.
        std::FILE* f = fdopen(out[0], "r");
        std::array<char, 256> line{};
        ready_ = f != nullptr && std::fgets(line.data(), line.size(), f) != nullptr &&
                 std::string(line.data()).find("ready") != std::string::npos;
        if (ready_) {
            const std::string text(line.data());
            const auto on = text.rfind(" ready on ");
            if (on != std::string::npos) path_ = text.substr(on + 10, text.find_last_not_of("\r\n") - on - 9);
        }
        if (f != nullptr) std::fclose(f);
    }
    ~Podsim() { stop(); }
    bool ready() const { return ready_; }
    // The pseudo-terminal the emulator serves its pod on.
    const std::string& path() const { return path_; }
    pid_t pid() const { return pid_; }
    // The test waited for the process itself.
    void forget() { pid_ = -1; }
    int stop() {
        if (pid_ <= 0) return -1;
        kill(pid_, SIGTERM);
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    pid_t pid_ = -1;
    bool ready_ = false;
    std::string path_;
};

using CliRun = CommandRun;

// corvexlink-cli with this test's runtime directory, output and errors together.
inline CliRun cli(const std::string& args) {
    return runCommand("XDG_RUNTIME_DIR='" + scratch("runtime").string() + "' " + CORVEXLINK_CLI_PATH + " " + args +
                      " 2>&1");
}

}  // namespace cvl::test
