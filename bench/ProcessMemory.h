#pragma once

// This process's memory as the kernel counts it, for the load benchmarks.

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

// A "Field:" of /proc/self/status in kB (VmRSS:, VmHWM:), -1 when absent.
inline long statusKb(const char* field) {
    std::ifstream f("/proc/self/status");
    std::string line;
    while (std::getline(f, line))
        if (line.rfind(field, 0) == 0)
            return std::strtol(line.c_str() + std::strlen(field), nullptr, 10);
    return -1;
}

// Starts VmHWM afresh from the memory in use now.
inline void resetPeak() {
    std::ofstream f("/proc/self/clear_refs");
    f << "5";
}
