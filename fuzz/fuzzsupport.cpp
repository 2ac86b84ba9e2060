#include "fuzzsupport.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

namespace fs = std::filesystem;

void FuzzFail(const char* condition, const char* file, int line)
{
    std::fprintf(stderr, "%s:%d: check failed: %s\n", file, line, condition);
    std::abort();
}

namespace {
std::string workDir;
void RemoveWorkDir()
{
    std::error_code ignored;
    fs::remove_all(workDir, ignored);
}
}  // namespace

const std::string& FuzzWorkDir()
{
    static const bool ready = [] {
        const char* tmp = std::getenv("TMPDIR");
        const std::string base = tmp && *tmp                    ? tmp
                                 : fs::is_directory("/dev/shm") ? "/dev/shm"
                                                                : fs::temp_directory_path().string();
        std::string pattern = base + "/velmora-fuzz-XXXXXX";
        std::vector<char> buffer(pattern.begin(), pattern.end());
        buffer.push_back('\0');
        FUZZ_CHECK(mkdtemp(buffer.data()) != nullptr);
        workDir = buffer.data();
        std::atexit(RemoveWorkDir);
        fs::current_path(workDir);
        std::ofstream("countries.nbx", std::ios::binary) << "DE\tGermany\r\nFR\tFrance\r\nUS\tUnited States\r\n";
        setenv("VELMORA_SERVICE_URL", "http://127.0.0.1:9", 1);
        return true;
    }();
    (void)ready;
    return workDir;
}

std::string WriteFuzzFile(const std::string& name, const uint8_t* data, size_t size)
{
    const std::string path = FuzzWorkDir() + "/" + name;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    FUZZ_CHECK(out.good());
    return path;
}

std::string ReadFuzzFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
