#include "browser/socksupstream.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace {
constexpr size_t kMaxAnswer = 512;  // a SOCKS5 answer with a name is at most 262 bytes
}  // namespace

UpstreamAttempt::UpstreamAttempt(RelayLoop& loop, const std::string& proxyIp, int proxyPort, Mode mode,
                                 const SocksTarget& target, Timeouts timeouts, Done done)
    : mode_(mode), target_(target), timeouts_(timeouts), done_(std::move(done)), watch_(loop, [this] { OnReady(); }),
      timer_(loop.Context(), [this] { Finish(Result::Kind::NoAnswer); })
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(proxyPort));
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd_ < 0 || inet_pton(AF_INET, proxyIp.c_str(), &address.sin_addr) != 1) {
        timer_.Start(0);  // reported from the loop, like every outcome
        return;
    }
    const int on = 1;
    setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    if (connect(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 && errno != EINPROGRESS) {
        timer_.Start(0);
        return;
    }
    watch_.Set(0, fd_, G_IO_OUT);
    timer_.Start(timeouts_.connectMs);
}

UpstreamAttempt::~UpstreamAttempt()
{
    watch_.Set(0, fd_, GIOCondition(0));
    if (fd_ >= 0)
        close(fd_);
}

void UpstreamAttempt::OnReady()
{
    if (phase_ != Phase::Connecting) {
        OnAnswer();
        return;
    }
    int error = 0;
    socklen_t length = sizeof error;
    if (getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0) {
        Finish(Result::Kind::NoAnswer);
        return;
    }
    OnConnected();
}

void UpstreamAttempt::OnConnected()
{
    reached_ = true;
    const bool socks5 = mode_ == Mode::Socks5 || mode_ == Mode::Probe5;
    phase_ = socks5 ? Phase::Greeting : Phase::Requesting;
    watch_.Set(0, fd_, G_IO_IN);
    timer_.Start(mode_ == Mode::Probe5 || mode_ == Mode::Probe4 ? timeouts_.connectMs : timeouts_.answerMs);
    if (socks5)
        Send(Socks5Greeting());
    else
        Send(
            Socks4ConnectRequest(mode_ == Mode::Probe4 ? SocksTarget{SocksTarget::Kind::Ipv4, "0.0.0.0", 0} : target_));
}

void UpstreamAttempt::Send(const std::string& bytes)
{
    // A few hundred bytes on a fresh connection: the socket's buffer takes them whole.
    if (bytes.empty() || send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(bytes.size()))
        Finish(Result::Kind::NoAnswer);
}

void UpstreamAttempt::OnAnswer()
{
    char buffer[kMaxAnswer];
    const ssize_t got = recv(fd_, buffer, sizeof buffer, 0);
    if (got < 0 && (errno == EAGAIN || errno == EINTR))
        return;
    if (got <= 0 || answer_.size() + static_cast<size_t>(got) > kMaxAnswer) {
        Finish(Result::Kind::NoAnswer);
        return;
    }
    answer_.append(buffer, static_cast<size_t>(got));
    using Status = SocksProxyAnswer::Status;
    if (phase_ == Phase::Greeting) {
        const SocksProxyAnswer method = ParseSocks5MethodAnswer(answer_);
        if (method.status == Status::Incomplete)
            return;
        if (method.status != Status::Granted || mode_ == Mode::Probe5) {
            Finish(method.status == Status::Granted ? Result::Kind::Granted : Result::Kind::NoAnswer);
            return;
        }
        answer_.erase(0, method.consumed);
        phase_ = Phase::Requesting;
        timer_.Start(timeouts_.answerMs);
        Send(Socks5ConnectRequest(target_));
        return;  // a proxy does not answer a request it has not seen: answer_ is empty
    }
    const SocksProxyAnswer reply =
        mode_ == Mode::Socks5 ? ParseSocks5ConnectAnswer(answer_) : ParseSocks4ConnectAnswer(answer_);
    if (reply.status == Status::Incomplete)
        return;
    if (mode_ == Mode::Probe4) {
        Finish(reply.status == Status::Malformed ? Result::Kind::NoAnswer : Result::Kind::Granted);
        return;
    }
    if (reply.status == Status::Granted)
        answer_.erase(0, reply.consumed);
    Finish(reply.status == Status::Granted   ? Result::Kind::Granted
           : reply.status == Status::Refused ? Result::Kind::Refused
                                             : Result::Kind::NoAnswer,
           reply.code);
}

void UpstreamAttempt::Finish(Result::Kind kind, uint8_t code)
{
    if (!done_)
        return;
    timer_.Stop();
    watch_.Set(0, fd_, GIOCondition(0));
    Result result;
    result.kind = kind;
    result.code = code;
    result.reached = reached_;
    if (kind == Result::Kind::Granted && (mode_ == Mode::Socks5 || mode_ == Mode::Socks4)) {
        result.fd = fd_;
        result.early = std::move(answer_);
        fd_ = -1;
    }
    Done done = std::move(done_);
    done_ = nullptr;
    done(std::move(result));  // may destroy this attempt
}
