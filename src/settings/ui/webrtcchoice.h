#pragma once

class IPrompt;
class QWidget;

// Carries out "Keep WebRTC behind the proxy" on Chromium and Google Chrome
// (see browser/webrtcpolicy.h), asking through prompt to close a running
// browser. Turning it on tells what keeps a browser's WebRTC around the
// proxy; turning it off succeeds only when every value from before is back,
// otherwise it says which browser still has Velmora's value and returns false
// (the choice then stays on).
bool ApplyWebRtcChoice(bool keep, IPrompt& prompt, QWidget* parent);

// After Hide IP: with the choice on, makes sure each browser's WebRTC stays
// behind the proxy; then says, once per browser while the program runs,
// where WebRTC can still show web pages the real address.
void CheckWebRtcAfterHideIp(IPrompt& prompt, QWidget* parent);
void ResetWebRtcNoticesForTest();
