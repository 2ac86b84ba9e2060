#pragma once

#include "data/windowmessages.h"

#include <mutex>
#include <vector>

// Records posted messages (from any thread) instead of handling them.
class CRecordingMessageTarget : public IMessageTarget {
public:
    struct Message {
        int message;
        long long wParam;
        long long lParam;
    };

    void PostMessage(int message, long long wParam, long long lParam) override
    {
        std::lock_guard<std::mutex> lock(mutex_);
        messages_.push_back({message, wParam, lParam});
    }

    std::vector<Message> Messages() const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return messages_;
    }

    void Clear()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        messages_.clear();
    }

private:
    mutable std::mutex mutex_;
    std::vector<Message> messages_;
};

// Installs a target as MainWindowHandle() for its lifetime.
class CScopedMainWindowHandle {
public:
    explicit CScopedMainWindowHandle(IMessageTarget* target) : previous_(MainWindowHandle())
    {
        MainWindowHandle() = target;
    }
    ~CScopedMainWindowHandle() { MainWindowHandle() = previous_; }
    CScopedMainWindowHandle(const CScopedMainWindowHandle&) = delete;
    CScopedMainWindowHandle& operator=(const CScopedMainWindowHandle&) = delete;

private:
    IMessageTarget* previous_;
};
