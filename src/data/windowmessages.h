#pragma once

// Private messages to the main window and the progress dialog. The numbers
// keep the offsets from the Windows WM_USER base so message tables stay readable.
constexpr int WM_USER_BASE = 0x0400;
constexpr int kMsgTrayNotify = WM_USER_BASE + 100;
constexpr int kMsgExitRequest = WM_USER_BASE + 101;
constexpr int kMsgProxyApplied = WM_USER_BASE + 102;
constexpr int kMsgProxyRestored = WM_USER_BASE + 103;
constexpr int kMsgTestProgress = WM_USER_BASE + 104;
constexpr int kMsgContextMenu = WM_USER_BASE + 105;

// Receiver of posted messages, so core code can notify windows without widgets.
class IMessageTarget {
public:
    virtual ~IMessageTarget() = default;
    // Must be thread-safe and queue the message (never deliver synchronously).
    virtual void PostMessage(int message, long long wParam, long long lParam) = 0;
};

// The main window's target, process-wide; nullptr until the main window sets it.
IMessageTarget*& MainWindowHandle();
