#include "data/windowmessages.h"

IMessageTarget*& MainWindowHandle() {
    static IMessageTarget* target = nullptr;
    return target;
}
