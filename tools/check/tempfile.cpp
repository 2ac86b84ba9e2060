#include "tempfile.h"

#include <cstdlib>
#include <unistd.h>

std::string MakeTemporaryFile()
{
    const char* dir = std::getenv("TMPDIR");
    std::string path = std::string(dir && *dir ? dir : "/tmp") + "/velmora-check-XXXXXX";
    const int fd = mkstemp(path.data());
    if (fd < 0)
        return "";
    close(fd);
    return path;
}
