// KDE's kioslaverc: loaded and saved untouched it gives the file back byte
// for byte, and a key set in the proxy group reads back after a save.
#include <string>

#include "browser/kioslavercfile.h"
#include "fuzzsupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const std::string path = WriteFuzzFile("kioslaverc", data, size);
    CKioslavercFile file;
    FUZZ_CHECK(file.Load(path));
    FUZZ_CHECK(file.Save());
    FUZZ_CHECK(ReadFuzzFile(path) == bytes);

    file.SetLine("socksProxy", "socksProxy=socks://127.0.0.1 1080");
    FUZZ_CHECK(file.Save());
    CKioslavercFile changed;
    FUZZ_CHECK(changed.Load(path));
    FUZZ_CHECK(changed.Value("socksProxy") == "socks://127.0.0.1 1080");
    return 0;
}
