#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Ends the process when an invariant of the code under test does not hold,
// so that libFuzzer keeps the input (and a replay test fails on it).
#define FUZZ_CHECK(condition) ((condition) ? static_cast<void>(0) : FuzzFail(#condition, __FILE__, __LINE__))
[[noreturn]] void FuzzFail(const char* condition, const char* file, int line);

// The scratch folder every target works in, made the working directory on
// the first call. It holds a three-country "countries.nbx", and the service
// address points at a closed loopback port, so default settings never leave
// the machine. Made under $TMPDIR, else in memory (/dev/shm) where available:
// the targets write files on every input.
const std::string& FuzzWorkDir();
constexpr int kFuzzCountryCount = 3;

// Writes bytes to name inside the work folder; returns the absolute path.
std::string WriteFuzzFile(const std::string& name, const uint8_t* data, size_t size);
// The file's bytes, or "" when it cannot be read.
std::string ReadFuzzFile(const std::string& path);
