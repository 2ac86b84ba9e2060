#pragma once

#include <string>
#include <vector>

// KDE's kioslaverc as a list of lines, changed line by line in its
// "[Proxy Settings]" group so that every other line and group keeps its
// bytes. GKeyFile would rewrite the whole file; KConfig is not used here.
//
// A key is found the way KDE's readers find it: in a "[Proxy Settings]"
// group, the text before '=' with surrounding blanks and any "[...]" marker
// removed; the last line of a key is the one that counts.
class CKioslavercFile {
public:
    static constexpr const char* kProxyGroup = "[Proxy Settings]";

    // Reads path. A missing file reads as empty; false only when it exists
    // and cannot be read.
    bool Load(const std::string& path);

    bool Exists() const { return exists_; }
    bool Empty() const { return lines_.empty(); }
    bool EndsWithNewline() const { return lines_.empty() || finalNewline_; }
    bool HasProxyGroup() const;

    // The key's whole line ("httpProxy=http://proxy 3128"), or "" when the
    // group has no such key.
    std::string Line(const std::string& key) const;
    // The key's value with surrounding blanks removed, or "".
    std::string Value(const std::string& key) const;

    // Replaces the key's line, or adds it after the group's last entry; the
    // group is added at the end of the file when there is none.
    void SetLine(const std::string& key, const std::string& line);
    // Removes every line of the key from the group.
    void RemoveKey(const std::string& key);
    // Removes a proxy group that holds nothing but blank lines, together with
    // the blank line that set it apart from the group before it.
    void RemoveProxyGroupIfEmpty();
    // For giving back a file that did not end with a line break.
    void DropFinalNewline() { finalNewline_ = false; }

    // Writes a new file beside the old one and renames it over it, so that a
    // reader never sees half a file; a symbolic link is followed, and the
    // file's permissions are kept (0600 for a new file).
    bool Save() const;
    // Removes the file; true when it is gone.
    bool Remove() const;

    // The value part of a line as KDE's readers take it.
    static std::string ValueOf(const std::string& line);

private:
    struct Entry {
        size_t index;
        std::string key;
    };
    // Every key line of every proxy group, in file order.
    std::vector<Entry> Entries() const;
    // Where a new key goes: after the last non-blank line of the last proxy group.
    size_t InsertionPoint() const;

    std::string path_;
    bool exists_ = false;
    std::vector<std::string> lines_;  // without their line breaks
    bool finalNewline_ = true;
};
