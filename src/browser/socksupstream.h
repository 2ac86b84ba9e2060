#pragma once

#include <functional>
#include <memory>
#include <string>

#include <glib.h>

#include "browser/relaysources.h"
#include "browser/socksprotocol.h"

// One connection of the relay to a SOCKS proxy, made on the relay's thread:
// TCP connect, then the SOCKS exchange of the chosen version. The upstream
// handshake is written here rather than taken from GIO's GProxy classes
// because the relay must tell a proxy that refuses a destination (SOCKS5
// codes 2 to 8, SOCKS4 0x5B) from one that answers nothing or garbage, and
// GIO reports both as G_IO_ERROR_PROXY_FAILED with a translated message.
class UpstreamAttempt {
public:
    enum class Mode {
        Socks5,  // greeting, then the CONNECT request for the target
        Socks4,  // the CONNECT request: SOCKS4 for an address, SOCKS4a for a name
        Probe5,  // greeting only: does the proxy speak SOCKS5 without authentication?
        Probe4,  // a SOCKS4 request for 0.0.0.0:0, which no proxy grants: any answer will do
    };
    struct Result {
        enum class Kind {
            Granted,   // fd is connected to the target through the proxy
            Refused,   // the proxy answered and refused the destination: code
            NoAnswer,  // a proxy-level failure: no connection, no answer in time, or a malformed one
        };
        Kind kind = Kind::NoAnswer;
        uint8_t code = 0;      // Refused: the proxy's code (SOCKS5 2-8, SOCKS4 0x5B-0x5D)
        bool reached = false;  // the TCP connection to the proxy was made
        int fd = -1;           // Granted: the connection, owned by the caller from now on
        std::string early;     // Granted: what the proxy sent after its answer
    };
    using Done = std::function<void(Result&&)>;

    struct Timeouts {
        unsigned connectMs = 5000;
        unsigned answerMs = 10000;
    };

    // Starts at once; done is called once, later, from the context's loop
    // (never from the constructor) unless the attempt is destroyed first.
    UpstreamAttempt(RelayLoop& loop, const std::string& proxyIp, int proxyPort, Mode mode, const SocksTarget& target,
                    Timeouts timeouts, Done done);
    ~UpstreamAttempt();  // closes the connection unless it was handed over
    UpstreamAttempt(const UpstreamAttempt&) = delete;
    UpstreamAttempt& operator=(const UpstreamAttempt&) = delete;

private:
    enum class Phase { Connecting, Greeting, Requesting };

    void OnReady();
    void OnConnected();
    void Send(const std::string& bytes);
    void OnAnswer();
    void Finish(Result::Kind kind, uint8_t code = 0);

    Mode mode_;
    SocksTarget target_;
    Timeouts timeouts_;
    Done done_;
    Phase phase_ = Phase::Connecting;
    int fd_ = -1;
    bool reached_ = false;
    std::string answer_;
    FdWatch watch_;
    OneShotTimer timer_;
};
