#include "support/scratchfilesystem.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

#include <vector>

#include "support/tempdir.h"

namespace {
// Moves the calling thread into a mount namespace of its own, once.
bool EnterPrivateMountNamespace(std::string& whyNot)
{
    thread_local bool entered = false;
    if (entered)
        return true;
    if (unshare(CLONE_NEWNS) != 0) {
        whyNot = std::string("unshare(CLONE_NEWNS): ") + std::strerror(errno);
        return false;
    }
    // Without this the new mounts would propagate back to the host's namespace.
    if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
        whyNot = std::string("making / private: ") + std::strerror(errno);
        return false;
    }
    entered = true;
    return true;
}
}  // namespace

ScratchFilesystem::ScratchFilesystem(size_t sizeKiB) : dir(std::make_unique<TempDir>())
{
    if (!EnterPrivateMountNamespace(whyNot))
        return;
    const std::string options = "size=" + std::to_string(sizeKiB) + "k,mode=0755";
    if (mount("velmora-scratch", dir->Path().c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) != 0) {
        whyNot = std::string("mounting a tmpfs: ") + std::strerror(errno);
        return;
    }
    mounted = true;
}

ScratchFilesystem::~ScratchFilesystem()
{
    if (mounted)
        umount2(dir->Path().c_str(), MNT_DETACH);
}

const std::string& ScratchFilesystem::Path() const
{
    return dir->Path();
}

std::string ScratchFilesystem::File(const std::string& name) const
{
    return dir->File(name);
}

bool ScratchFilesystem::MakeReadOnly()
{
    return mounted
           && mount(nullptr, dir->Path().c_str(), nullptr, MS_REMOUNT | MS_RDONLY | MS_NOSUID | MS_NODEV, nullptr) == 0;
}

bool ScratchFilesystem::Fill()
{
    const int fd = open(File("filler").c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (fd < 0)
        return errno == ENOSPC;
    const std::vector<char> block(4096, 'f');
    bool full = false;
    // A short write is followed by one that fails with ENOSPC.
    for (;;) {
        if (write(fd, block.data(), block.size()) < 0) {
            full = errno == ENOSPC;
            break;
        }
    }
    close(fd);
    return full;
}

void ScratchFilesystem::Unfill()
{
    unlink(File("filler").c_str());
}
