// Time and memory readings shared by the matching benchmarks.
#pragma once

#include <chrono>
#include <fstream>
#include <string>

namespace corvane::bench {

inline double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// A "Vm...:" figure of /proc/self/status, in bytes.
inline long StatusBytes(const char* field) {
    std::ifstream status("/proc/self/status");
    const std::string prefix = std::string(field) + ":";
    for (std::string line; std::getline(status, line);)
        if (line.rfind(prefix, 0) == 0) return std::stol(line.substr(prefix.size())) * 1024;
    return 0;
}

// Peak resident memory since the last ResetPeak (or the start), in bytes.
inline long PeakResident() {
    return StatusBytes("VmHWM");
}
inline long Resident() {
    return StatusBytes("VmRSS");
}
inline void ResetPeak() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

}  // namespace corvane::bench
