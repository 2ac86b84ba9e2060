#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

#include "data/proxy.h"

struct LocalConnection;

// What the relay tells its owner, from the relay's own thread.
struct RelayEvent {
    enum class Kind {
        // The proxy in use stopped answering; `to` now carries the traffic.
        Switched,
        // No proxy of the list answers: every connection is refused until one does.
        NoneAnswers,
        // A proxy in use again after none answered.
        Recovered,
        // The proxy in use takes no host names (SOCKS4 without 4a): from now on
        // the relay looks names up itself, with the user's own resolver.
        ResolvingNamesLocally,
    };
    Kind kind = Kind::Switched;
    CProxy from;  // the proxy that stopped answering (Switched, NoneAnswers)
    CProxy to;    // the proxy now in use (Switched, Recovered, ResolvingNamesLocally)
};

// A SOCKS relay on 127.0.0.1 for the desktop's programs: it takes SOCKS4,
// SOCKS4a and SOCKS5 CONNECT (no authentication) from processes of this
// user only, and forwards each connection to the proxy in use in the best
// protocol that proxy speaks (CProxy::type 2 or 3: SOCKS5; 1: SOCKS4a, or
// SOCKS4 with names looked up here once the proxy refuses them; 0: SOCKS5,
// then SOCKS4a). When the proxy in use stops answering (three connections
// in a row find it unreachable or get no proper SOCKS answer) it moves to
// the next proxy of the list that answers a probe; while none answers,
// connections are refused and the list is probed again at most every 10 s.
// Nothing ever goes direct.
// It runs on a thread of its own (a GLib main loop); every member may be
// called from any thread, except Stop() from the event handler.
class CSocksRelay {
public:
    using EventHandler = std::function<void(const RelayEvent&)>;

    CSocksRelay();
    ~CSocksRelay();  // Stop()
    CSocksRelay(const CSocksRelay&) = delete;
    CSocksRelay& operator=(const CSocksRelay&) = delete;

    // Listens on 127.0.0.1:port (0: a free port of the system's choice) and
    // starts the relay's thread. False, with problem in words for the user,
    // when the port cannot be had.
    bool Start(int port, std::string& problem);
    // Closes the listener and every relayed connection, and joins the thread.
    // Start() may follow again.
    void Stop();
    bool Running() const;
    // The port listened on; 0 when not running.
    int Port() const;

    // The proxy to use first, then those to move to when it stops answering,
    // in order (the table's, fastest first). Connections already relayed keep
    // their proxy; new ones take the first of the new list. Also before Start().
    void SetUpstreams(const std::vector<CProxy>& proxies);
    // The proxy new connections go to now.
    CProxy Current() const;
    // Called on the relay's thread; the handler must not block, nor call Stop().
    void SetEventHandler(EventHandler handler);

    // Who runs the program at the other end of an accepted connection
    // (serverIp/serverPort: the relay's end); connections of any other user
    // than this process's, or of an unknown one, are closed unanswered.
    // Default: ClientSocketOwner (the kernel's sock_diag, else its socket
    // tables). Set it before Start(); tests put a stand-in here.
    using OwnerLookup = std::function<std::optional<uid_t>(const LocalConnection&)>;
    void SetOwnerLookup(OwnerLookup lookup);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};
