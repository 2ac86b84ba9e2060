#pragma once

#include <cstddef>

// The resident memory high-water mark of this process, so a test can check
// that a huge input is handled in bounded memory. Linux only.
namespace PeakMemory {
// Sets the high-water mark back to the current resident size; false when the
// kernel does not allow it or a sanitizer's shadow memory would swamp the
// figures (callers then skip their memory checks).
bool Reset();
// The high-water mark in KiB, 0 when it cannot be read.
size_t PeakKiB();
// The current resident size in KiB, 0 when it cannot be read.
size_t CurrentKiB();
}  // namespace PeakMemory
