#include "support/peakmemory.h"

#include <cstdlib>
#include <fstream>
#include <string>

namespace {
size_t StatusKiB(const char* key)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::string prefix = std::string(key) + ":";
    while (std::getline(status, line))
        if (line.compare(0, prefix.size(), prefix) == 0)
            return std::strtoul(line.c_str() + prefix.size(), nullptr, 10);
    return 0;
}
}  // namespace

#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
#define VELMORA_SHADOW_MEMORY 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer) || __has_feature(address_sanitizer)
#define VELMORA_SHADOW_MEMORY 1
#endif
#endif

namespace PeakMemory {
bool Reset()
{
#ifdef VELMORA_SHADOW_MEMORY
    // The sanitizers' shadow memory (and AddressSanitizer's quarantine of
    // freed blocks) multiply the resident size; figures taken under them say
    // nothing about the program.
    return false;
#endif
    // Writing 5 to clear_refs resets VmHWM to the current RSS.
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
    clear.flush();
    return static_cast<bool>(clear);
}

size_t PeakKiB()
{
    return StatusKiB("VmHWM");
}
size_t CurrentKiB()
{
    return StatusKiB("VmRSS");
}
}  // namespace PeakMemory
