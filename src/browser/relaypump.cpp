#include "browser/relaypump.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace {
// Reads per direction and wake-up: a fast sender cannot starve the others.
constexpr int kReadsPerWake = 8;
constexpr size_t kSpliceAfter = 1 << 20;
constexpr int kPipeSize = 1 << 20;  // the unprivileged maximum by default; the kernel may give less
constexpr unsigned kSpliceFlags = SPLICE_F_MOVE | SPLICE_F_NONBLOCK;

bool WouldBlock()
{
    return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
}
}  // namespace

RelayPump::RelayPump(RelayLoop& loop, int a, int b, std::string toA, std::string toB, std::vector<char>& scratch,
                     std::function<void()> done)
    : scratch_(scratch), done_(std::move(done)), watch_(loop, [this] { OnReady(false); }),
      start_(loop.Context(), [this] { OnReady(true); })
{
    directions_[0].from = directions_[1].to = a;
    directions_[0].to = directions_[1].from = b;
    directions_[0].fromSlot = directions_[1].toSlot = 0;
    directions_[0].toSlot = directions_[1].fromSlot = 1;
    directions_[0].pending = std::move(toB);
    directions_[1].pending = std::move(toA);
    start_.Start(0);  // sends what is pending and starts watching, from the loop
}

RelayPump::~RelayPump()
{
    watch_.Set(0, -1, GIOCondition(0));
    watch_.Set(1, -1, GIOCondition(0));
    for (Direction& direction : directions_) {
        close(direction.from);
        for (int fd : direction.pipe)
            if (fd >= 0)
                close(fd);
    }
}

bool RelayPump::Flush(Direction& direction)
{
    while (direction.sent < direction.pending.size()) {
        const ssize_t sent = send(direction.to, direction.pending.data() + direction.sent,
                                  direction.pending.size() - direction.sent, MSG_NOSIGNAL);
        if (sent < 0)
            return WouldBlock();
        direction.sent += static_cast<size_t>(sent);
    }
    direction.pending.clear();
    direction.sent = 0;
    return true;
}

bool RelayPump::Move(Direction& direction)
{
    if (direction.pipe[0] < 0 && direction.moved >= kSpliceAfter && direction.pending.empty()
        && pipe2(direction.pipe, O_NONBLOCK | O_CLOEXEC) == 0)
        fcntl(direction.pipe[1], F_SETPIPE_SZ, kPipeSize);
    if (direction.pipe[0] >= 0)
        return Splice(direction);
    for (int i = 0; i < kReadsPerWake && direction.pending.empty() && !direction.ended; ++i) {
        const ssize_t got = recv(direction.from, scratch_.data(), scratch_.size(), 0);
        if (got == 0) {
            direction.ended = true;
            shutdown(direction.to, SHUT_WR);
            return true;
        }
        if (got < 0)
            return WouldBlock();
        direction.moved += static_cast<size_t>(got);
        ssize_t sent = send(direction.to, scratch_.data(), static_cast<size_t>(got), MSG_NOSIGNAL);
        if (sent < 0 && !WouldBlock())
            return false;
        sent = sent < 0 ? 0 : sent;
        if (sent < got)
            direction.pending.assign(scratch_.data() + sent, static_cast<size_t>(got - sent));
        if (static_cast<size_t>(got) < scratch_.size())
            break;  // drained for now
    }
    return true;
}

bool RelayPump::Splice(Direction& direction)
{
    for (int i = 0; i < kReadsPerWake && direction.inPipe == 0 && !direction.ended; ++i) {
        const ssize_t got = splice(direction.from, nullptr, direction.pipe[1], nullptr, kPipeSize, kSpliceFlags);
        if (got == 0) {
            direction.ended = true;
            shutdown(direction.to, SHUT_WR);
            return true;
        }
        if (got < 0)
            return WouldBlock();
        direction.inPipe = static_cast<size_t>(got);
        if (!FlushPipe(direction))
            return false;
    }
    return true;
}

bool RelayPump::FlushPipe(Direction& direction)
{
    while (direction.inPipe > 0) {
        const ssize_t sent = splice(direction.pipe[0], nullptr, direction.to, nullptr, direction.inPipe, kSpliceFlags);
        if (sent < 0)
            return WouldBlock();
        direction.inPipe -= static_cast<size_t>(sent);
    }
    return true;
}

void RelayPump::OnReady(bool all)
{
    const int readable = G_IO_IN | G_IO_HUP | G_IO_ERR, writable = G_IO_OUT | G_IO_HUP | G_IO_ERR;
    for (Direction& direction : directions_) {
        bool ok = true;
        if (direction.Pending() && (all || (watch_.Ready(direction.toSlot) & writable)))
            ok = direction.inPipe > 0 ? FlushPipe(direction) : Flush(direction);
        if (ok && !direction.Pending() && (all || (watch_.Ready(direction.fromSlot) & readable)))
            ok = Move(direction);
        if (!ok) {
            done_();  // may destroy the pump
            return;
        }
    }
    if (directions_[0].ended && directions_[1].ended) {
        done_();
        return;
    }
    UpdateWatch();
}

void RelayPump::UpdateWatch()
{
    int events[2] = {0, 0};
    for (const Direction& direction : directions_) {
        if (direction.Pending())
            events[direction.toSlot] |= G_IO_OUT;
        else if (!direction.ended)
            events[direction.fromSlot] |= G_IO_IN;
    }
    watch_.Set(0, directions_[0].from, GIOCondition(events[0]));
    watch_.Set(1, directions_[1].from, GIOCondition(events[1]));
}
