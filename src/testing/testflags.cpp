#include "testing/testflags.h"

#include "data/windowmessages.h"

std::atomic<bool>& testCanceled()
{
    static std::atomic<bool> canceled{false};
    return canceled;
}

std::atomic<IMessageTarget*>& progressWindow()
{
    static std::atomic<IMessageTarget*> window{nullptr};
    return window;
}

void PostTestProgress(int count)
{
    if (IMessageTarget* window = progressWindow().load())
        window->PostMessage(kMsgTestProgress, 0, count);
}

void PostTestComplete()
{
    if (IMessageTarget* window = progressWindow().load())
        window->PostMessage(kMsgTestProgress, 1, 0);
}
