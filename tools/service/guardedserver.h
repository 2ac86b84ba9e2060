#pragma once

#include <httplib.h>

#include <chrono>
#include <mutex>
#include <sys/types.h>

// The service's HTTP server, guarded against other users of the machine:
// every connection (one request each) has a whole-request deadline, so a
// client that trickles its request holds a worker for that long at most, and
// the connections of other users together hold at most a share of the
// workers, so the service keeps answering its own user while others flood it.
// Its port is its own: a second service cannot listen there beside it.
class GuardedServer : public httplib::Server {
public:
    struct Limits {
        std::chrono::milliseconds requestDeadline{10000};  // from accepting to the answer written
        int othersShare = 32;                              // connections of other users at once
    };

    explicit GuardedServer(Limits limits);

private:
    bool process_and_close_socket(int sock) override;
    // Counts a connection in; false when it is another user's and other
    // users hold their whole share.
    bool Admit(bool own);
    void Release(bool own);

    const Limits limits_;
    const uid_t owner_;
    std::mutex lock_;
    int othersHeld_ = 0;
};
