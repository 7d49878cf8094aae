#include "pod/PodDirectory.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace cvl {

namespace fs = std::filesystem;

std::string podDirectory() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && *runtime != '\0') return (fs::path(runtime) / "corvexlink" / "pods").string();
    std::error_code ec;
    const fs::path temp = fs::temp_directory_path(ec);
    return ((ec ? fs::path("/tmp") : temp) / ("corvexlink-" + std::to_string(::getuid())) / "pods").string();
}

std::vector<AnnouncedPod> announcedPods() {
    std::vector<AnnouncedPod> pods;
    std::error_code ec;
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(podDirectory(), ec)) {
        if (entry.is_regular_file(ec) && entry.path().extension() != ".tmp") files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    for (const auto& file : files) {
        std::ifstream in(file);
        AnnouncedPod pod;
        if (!std::getline(in, pod.description) || !std::getline(in, pod.devicePath)) continue;
        if (!std::getline(in, pod.serialNumber)) pod.serialNumber.clear();
        if (pod.description.size() > 63 || pod.devicePath.empty() || pod.serialNumber.size() > 63) continue;
        if (!fs::exists(pod.devicePath, ec)) continue;  // left behind by an emulator that died
        pods.push_back(pod);
    }
    return pods;
}

std::string announcePod(const AnnouncedPod& pod, const std::string& name, std::string& error) {
    const fs::path dir = podDirectory();
    std::error_code ec;
    fs::create_directories(dir, ec);
    if (ec) {
        error = dir.string() + ": " + ec.message();
        return "";
    }
    const fs::path file = dir / name;
    const fs::path temp = dir / (name + ".tmp");
    {
        std::ofstream out(temp, std::ios::trunc);
        out << pod.description << '\n' << pod.devicePath << '\n';
        if (!pod.serialNumber.empty()) out << pod.serialNumber << '\n';
        if (!out) {
            error = temp.string() + ": write failed";
            return "";
        }
    }
    fs::rename(temp, file, ec);
    if (ec) {
        error = file.string() + ": " + ec.message();
        return "";
    }
    return file.string();
}

}  // namespace cvl
