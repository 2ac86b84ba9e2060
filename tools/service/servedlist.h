#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "data/proxy.h"

// The retrieve answer of harvest mode. A harvest builds the whole answer
// first and then swaps it in under the lock, so a request gets either the
// old list or the new one, never a mixture; the text a request holds stays
// valid after a swap.
class ServedList {
public:
    ServedList();
    // Replaces the answer with list in the proxy list file format, or "Empty"
    // when list is empty.
    void Publish(const CProxyList& list);
    std::shared_ptr<const std::string> Answer() const;
    size_t Count() const;

private:
    mutable std::mutex lock_;
    std::shared_ptr<const std::string> answer_;
    size_t count_ = 0;
};

// The proxy list file lines of list: six tab-separated fields, CR LF ends.
std::string FormatProxyList(const CProxyList& list);
