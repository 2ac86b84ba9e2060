#pragma once

#include <memory>
#include <string>

class TempDir;

// A small tmpfs mounted on a fresh folder, for faults that permission bits
// cannot produce when the tests run as root: a read-only folder and a full
// disk. The mount lives in a private mount namespace of the calling thread
// (and the threads and processes it starts), so nothing outside this test
// process sees it and it goes away with the process even after a crash.
// Needs CAP_SYS_ADMIN; Mounted() is false with the reason otherwise.
class ScratchFilesystem {
public:
    explicit ScratchFilesystem(size_t sizeKiB);
    ~ScratchFilesystem();  // unmounts
    ScratchFilesystem(const ScratchFilesystem&) = delete;
    ScratchFilesystem& operator=(const ScratchFilesystem&) = delete;

    bool Mounted() const { return mounted; }
    const std::string& WhyNot() const { return whyNot; }
    const std::string& Path() const;
    std::string File(const std::string& name) const;

    // Remounts the filesystem read-only; writes then fail with EROFS.
    bool MakeReadOnly();
    // Takes every free byte with the file "filler"; true once a write failed for lack of space.
    bool Fill();
    // Removes the filler again.
    void Unfill();

private:
    std::unique_ptr<TempDir> dir;
    bool mounted = false;
    std::string whyNot;
};
