#pragma once

#include <functional>
#include <string>
#include <vector>

#include <glib.h>

#include "browser/relaysources.h"

// Moves the bytes of one relayed connection both ways between two
// non-blocking sockets on the relay's thread, passing on each side's end of
// data (shutdown) to the other. Reads go through one scratch buffer shared
// by every pump of the thread; only what a slow receiver does not take at
// once is kept per connection, and that side is not read again until it is
// sent, so memory stays small with many connections. A direction that has
// carried a megabyte (a download) goes on through a pipe with splice(2): the
// kernel hands the pages on without copying them through the relay, which
// saves about a third of the relay's CPU time per GiB.
class RelayPump {
public:
    // Takes ownership of both descriptors; toA and toB are sent first. done
    // is called once, from the loop, when both directions ended or one side
    // failed; the pump may be destroyed in it.
    RelayPump(RelayLoop& loop, int a, int b, std::string toA, std::string toB, std::vector<char>& scratch,
              std::function<void()> done);
    ~RelayPump();
    RelayPump(const RelayPump&) = delete;
    RelayPump& operator=(const RelayPump&) = delete;

private:
    struct Direction {
        int from = -1;
        int to = -1;
        int fromSlot = 0;
        int toSlot = 0;
        std::string pending;     // read from `from`, not yet taken by `to`
        size_t sent = 0;         // bytes of pending already sent
        bool ended = false;      // `from` ended its data and `to` was told
        size_t moved = 0;        // bytes carried by copying
        int pipe[2] = {-1, -1};  // splice's, once moved passed a megabyte
        size_t inPipe = 0;       // spliced from `from`, not yet into `to`
        bool Pending() const { return !pending.empty() || inPipe > 0; }
    };

    // all: try every side, not only those poll reported ready.
    void OnReady(bool all);
    // false when the connection failed.
    bool Flush(Direction& direction);
    bool Move(Direction& direction);
    bool Splice(Direction& direction);
    bool FlushPipe(Direction& direction);
    void UpdateWatch();

    Direction directions_[2];
    std::vector<char>& scratch_;
    std::function<void()> done_;
    FdWatch watch_;
    OneShotTimer start_;
};
