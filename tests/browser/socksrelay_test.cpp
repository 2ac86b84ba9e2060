// The local SOCKS relay against loopback fixture proxies: the three client
// protocols through SOCKS4 and SOCKS5 proxies, refusals, other users'
// connections, names looked up locally, failover and hostile clients.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "browser/socksrelay.h"
#include "service/socketdiag.h"
#include "service/socketowner.h"
#include "socksfixture.h"

namespace {

// A blocking loopback client; every read gives up after 20 s.
class Client {
public:
    explicit Client(int port) : fd_(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0))
    {
        const timeval timeout = {20, 0};
        setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connected_ = connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }
    ~Client() { close(fd_); }
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    bool Connected() const { return connected_; }
    int LocalPort() const
    {
        sockaddr_in address{};
        socklen_t length = sizeof address;
        getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
        return ntohs(address.sin_port);
    }
    void Send(const std::string& bytes) { (void)!send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL); }
    // Up to count bytes; fewer when the relay closes (or after the timeout).
    std::string Read(size_t count)
    {
        std::string out;
        char buffer[4096];
        while (out.size() < count) {
            const ssize_t got = recv(fd_, buffer, std::min(sizeof buffer, count - out.size()), 0);
            if (got <= 0)
                break;
            out.append(buffer, static_cast<size_t>(got));
        }
        return out;
    }
    std::string ReadToEnd() { return Read(1 << 20); }

private:
    int fd_;
    bool connected_ = false;
};

std::string Port16(int port)
{
    return {static_cast<char>(port >> 8), static_cast<char>(port & 0xFF)};
}

enum class Ask { Socks4, Socks4a, Socks5Address, Socks5Name };

// Asks the relay for 127.0.0.1:port (or "localhost":port) and, when granted,
// fetches the page; returns the relay's reply, then the page.
std::pair<std::string, std::string> Fetch(int relayPort, Ask ask, int port)
{
    Client client(relayPort);
    std::string reply;
    const std::string loopback("\x7F\0\0\x01", 4);
    switch (ask) {
    case Ask::Socks4: client.Send("\x04\x01" + Port16(port) + loopback + "user" + std::string(1, '\0')); break;
    case Ask::Socks4a:
        client.Send("\x04\x01" + Port16(port) + std::string("\0\0\0\x01", 4) + std::string(1, '\0') + "localhost"
                    + std::string(1, '\0'));
        break;
    case Ask::Socks5Address:
    case Ask::Socks5Name:
        client.Send(std::string("\x05\x02\x02\x00", 4));
        if (client.Read(2) != std::string("\x05\x00", 2))
            return {"no method", ""};
        client.Send(std::string("\x05\x01\x00", 3)
                    + (ask == Ask::Socks5Name ? std::string("\x03\x09localhost") : "\x01" + loopback) + Port16(port));
        break;
    }
    const bool socks4 = ask == Ask::Socks4 || ask == Ask::Socks4a;
    reply = client.Read(socks4 ? 8 : 10);
    const bool granted = reply.size() > 1 && reply[1] == (socks4 ? '\x5A' : '\0');
    if (!granted)
        return {reply, ""};
    client.Send("GET / HTTP/1.1\r\nHost: localhost\r\n\r\n");
    return {reply, client.ReadToEnd()};
}

CProxy Upstream(int port, int type)
{
    return CProxy("127.0.0.1", port, -1, type, 0, kUnmeasuredSpeed);
}

// A loopback port nothing listens on.
int ClosedPort()
{
    SocksFixture fixture;
    return fixture.AddPage();
}

class Relay {
public:
    explicit Relay(const std::vector<CProxy>& upstreams, CSocksRelay::OwnerLookup lookup = nullptr)
    {
        relay.SetUpstreams(upstreams);
        relay.SetEventHandler([this](const RelayEvent& event) {
            std::lock_guard<std::mutex> guard(lock_);
            events_.push_back(event);
        });
        if (lookup)
            relay.SetOwnerLookup(std::move(lookup));
        std::string problem;
        EXPECT_TRUE(relay.Start(0, problem)) << problem;
    }
    std::vector<RelayEvent> Events()
    {
        std::lock_guard<std::mutex> guard(lock_);
        return events_;
    }
    int Port() const { return relay.Port(); }

    CSocksRelay relay;

private:
    std::mutex lock_;
    std::vector<RelayEvent> events_;
};

const std::string kPageWord = "engine";

}  // namespace

TEST(SocksRelay, EveryClientProtocolReachesThePageThroughSocks4AndSocks5Proxies)
{
    SocksFixture fixture;
    const int page = fixture.AddPage();
    for (const auto protocol : {SocksBehaviour::Protocol::Socks4, SocksBehaviour::Protocol::Socks5}) {
        SocksBehaviour behaviour;
        behaviour.protocol = protocol;
        const int proxy = fixture.AddSocks(behaviour);
        const int type = protocol == SocksBehaviour::Protocol::Socks4 ? 1 : 2;
        Relay relay({Upstream(proxy, type)});  // the real owner lookup: this test's own user
        for (const Ask ask : {Ask::Socks4, Ask::Socks4a, Ask::Socks5Address, Ask::Socks5Name}) {
            SCOPED_TRACE("proxy type " + std::to_string(type) + ", request " + std::to_string(static_cast<int>(ask)));
            EXPECT_NE(Fetch(relay.Port(), ask, page).second.find(kPageWord), std::string::npos);
            const FixtureConnection seen = fixture.Connections(proxy).back();
            EXPECT_EQ(seen.version, type == 1 ? 4 : 5);
            const bool name = ask == Ask::Socks4a || ask == Ask::Socks5Name;
            EXPECT_EQ(seen.handshake.find("localhost") != std::string::npos, name) << "the name goes to the proxy";
            EXPECT_EQ(seen.handshake.find("user"), std::string::npos) << "the client's user id stays here";
        }
        EXPECT_EQ(fixture.ConnectionCount(proxy), 4);
        EXPECT_TRUE(relay.Events().empty());
    }
}

TEST(SocksRelay, CarriesALongDownloadWholeAndLetsGoWhenTheClientLeaves)
{
    SocksFixture fixture;
    SocksBehaviour endless;
    endless.protocol = SocksBehaviour::Protocol::Socks5;
    endless.action = SocksBehaviour::Action::ServeEndless;
    Relay relay({Upstream(fixture.AddSocks(endless), 2)});
    for (int i = 0; i < 2; ++i) {  // past the megabyte after which the relay splices
        Client client(relay.Port());
        client.Send(std::string("\x05\x01\x00", 3));
        ASSERT_EQ(client.Read(2), std::string("\x05\x00", 2));
        client.Send(std::string("\x05\x01\x00\x01\x7F\0\0\x01", 8) + Port16(80));
        ASSERT_EQ(client.Read(10).substr(0, 2), std::string("\x05\x00", 2));
        client.Send("GET / HTTP/1.1\r\n\r\n");
        const std::string header = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n\r\n";
        ASSERT_EQ(client.Read(header.size()), header);
        const std::string body = client.Read(8 << 20);
        EXPECT_EQ(body.size(), size_t(8 << 20));
        EXPECT_EQ(body.find_first_not_of('e'), std::string::npos);
    }
    // The fixture's endless senders end once the relay has closed both sides.
}

TEST(SocksRelay, RefusesWhatItDoesNotRelayAndCountsNoRefusalAsAFailure)
{
    SocksFixture fixture;
    SocksBehaviour rejecting;
    rejecting.protocol = SocksBehaviour::Protocol::Socks5;
    rejecting.action = SocksBehaviour::Action::Reject;
    const int proxy = fixture.AddSocks(rejecting);
    const int other = fixture.AddSocks(SocksBehaviour());
    Relay relay({Upstream(proxy, 2), Upstream(other, 1)});
    auto ask = [&](const std::string& first, const std::string& second, size_t replySize) {
        Client client(relay.Port());
        client.Send(first);
        if (second.empty())
            return client.Read(replySize);
        client.Read(2);
        client.Send(second);
        return client.Read(replySize);
    };
    const std::string greeting("\x05\x01\x00", 3), port = Port16(80);
    EXPECT_EQ(ask(std::string("\x05\x01\x02", 3), "", 2), std::string("\x05\xFF", 2)) << "authentication only";
    EXPECT_EQ(ask(greeting, std::string("\x05\x02\x00\x01\x7F\0\0\x01", 8) + port, 2), std::string("\x05\x07", 2))
        << "BIND";
    EXPECT_EQ(ask(greeting, std::string("\x05\x01\x00\x09", 4) + port, 2), std::string("\x05\x08", 2));
    EXPECT_EQ(ask(std::string("\x04\x02", 2) + port + std::string("\x7F\0\0\x01\0", 5), "", 2),
              std::string("\0\x5B", 2));
    // The proxy refuses the destination: its code reaches the client, and
    // however often, the proxy stays in use.
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(Fetch(relay.Port(), Ask::Socks5Address, 80).first.substr(0, 2), std::string("\x05\x02", 2));
    EXPECT_EQ(fixture.ConnectionCount(proxy), 4);
    EXPECT_EQ(relay.relay.Current().port, proxy);
    EXPECT_TRUE(relay.Events().empty());
    EXPECT_EQ(fixture.ConnectionCount(other), 0);

    // An IPv6 destination cannot go through a SOCKS4 proxy.
    relay.relay.SetUpstreams({Upstream(other, 1)});
    EXPECT_EQ(ask(greeting, std::string("\x05\x01\x00\x04", 4) + std::string(15, '\0') + "\x01" + port, 2),
              std::string("\x05\x08", 2));
    EXPECT_EQ(fixture.ConnectionCount(other), 0);
}

TEST(SocksRelay, LooksNamesUpItselfOnceASocks4ProxyRefusesThem)
{
    SocksFixture fixture;
    const int page = fixture.AddPage();
    SocksBehaviour no4a;
    no4a.takesNames = false;
    const int proxy = fixture.AddSocks(no4a);
    Relay relay({Upstream(proxy, 1)});
    EXPECT_NE(Fetch(relay.Port(), Ask::Socks5Name, page).second.find(kPageWord), std::string::npos);
    EXPECT_NE(Fetch(relay.Port(), Ask::Socks4a, page).second.find(kPageWord), std::string::npos);
    const std::vector<FixtureConnection> seen = fixture.Connections(proxy);
    ASSERT_EQ(seen.size(), 3u) << "SOCKS4a refused, then the address; the next one the address at once";
    EXPECT_FALSE(seen[0].granted);
    const std::string byAddress = "\x04\x01" + Port16(page) + std::string("\x7F\0\0\x01\0", 5);
    EXPECT_EQ(seen[1].handshake, byAddress);
    EXPECT_EQ(seen[2].handshake, byAddress);
    const std::vector<RelayEvent> events = relay.Events();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].kind, RelayEvent::Kind::ResolvingNamesLocally);
    EXPECT_EQ(events[0].to.port, proxy);
}

TEST(SocksRelay, ClosesConnectionsOfOtherUsersUnanswered)
{
    SocksFixture fixture;
    const int page = fixture.AddPage();
    const int proxy = fixture.AddSocks(SocksBehaviour());
    std::mutex lock;
    std::vector<LocalConnection> asked;
    std::optional<uid_t> answer = getuid() + 1;
    Relay relay({Upstream(proxy, 1)}, [&](const LocalConnection& connection) {
        std::lock_guard<std::mutex> guard(lock);
        asked.push_back(connection);
        return answer;
    });
    for (const std::optional<uid_t> owner : {std::optional<uid_t>(getuid() + 1), std::optional<uid_t>()}) {
        {
            std::lock_guard<std::mutex> guard(lock);
            answer = owner;
        }
        Client client(relay.Port());
        client.Send("\x04\x01" + Port16(page) + std::string("\x7F\0\0\x01\0", 5));
        EXPECT_EQ(client.ReadToEnd(), "");
        std::lock_guard<std::mutex> guard(lock);
        ASSERT_FALSE(asked.empty());
        EXPECT_EQ(asked.back().serverIp, "127.0.0.1");
        EXPECT_EQ(asked.back().serverPort, relay.Port());
        EXPECT_EQ(asked.back().clientIp, "127.0.0.1");
        EXPECT_EQ(asked.back().clientPort, client.LocalPort());
    }
    EXPECT_EQ(fixture.ConnectionCount(proxy), 0);
}

// The relay's default owner lookup asks sock_diag; reading /proc/net/tcp
// instead costs milliseconds per connection on a busy machine.
TEST(SocketDiag, FindsTheOwnerOfALoopbackConnectionAndNoneOfAClosedOne)
{
    SocksFixture fixture;
    const int page = fixture.AddPage();
    Client client(page);
    ASSERT_TRUE(client.Connected());
    const SocketDiagAnswer mine = DiagSocketOwner("127.0.0.1", client.LocalPort(), "127.0.0.1", page);
    if (!mine.answered)
        GTEST_SKIP() << "no sock_diag on this machine";
    EXPECT_EQ(mine.uid, std::optional<uid_t>(getuid()));
    const SocketDiagAnswer none = DiagSocketOwner("127.0.0.1", client.LocalPort(), "127.0.0.1", ClosedPort());
    EXPECT_TRUE(none.answered);
    EXPECT_FALSE(none.uid);
    EXPECT_EQ(ClientSocketOwner({"127.0.0.1", page, "127.0.0.1", client.LocalPort()}), getuid());
}

TEST(SocksRelay, MovesToTheNextProxyThatAnswersWhenTheFirstStops)
{
    SocksFixture second;
    const int page = second.AddPage();
    SocksBehaviour socks5;
    socks5.protocol = SocksBehaviour::Protocol::Socks5;
    const int next = second.AddSocks(socks5);
    auto first = std::make_unique<SocksFixture>();
    const int gone = first->AddSocks(SocksBehaviour());
    Relay relay({Upstream(gone, 1), Upstream(ClosedPort(), 2), Upstream(next, 0)});
    EXPECT_NE(Fetch(relay.Port(), Ask::Socks5Name, page).second.find(kPageWord), std::string::npos);
    first.reset();  // the first proxy goes away
    // Connection refused three times, the second proxy does not answer the
    // probe, the third does: the client's connection goes through it.
    EXPECT_NE(Fetch(relay.Port(), Ask::Socks4a, page).second.find(kPageWord), std::string::npos);
    EXPECT_NE(Fetch(relay.Port(), Ask::Socks5Address, page).second.find(kPageWord), std::string::npos);
    const std::vector<RelayEvent> events = relay.Events();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].kind, RelayEvent::Kind::Switched);
    EXPECT_EQ(events[0].from.port, gone);
    EXPECT_EQ(events[0].to.port, next);
    EXPECT_EQ(relay.relay.Current().port, next);
    int granted = 0;
    for (const FixtureConnection& connection : second.Connections(next))
        granted += connection.granted;
    EXPECT_EQ(granted, 2);
    EXPECT_EQ(second.Connections(next).front().handshake, std::string("\x05\x01\x00", 3)) << "the probe";
}

TEST(SocksRelay, RefusesEveryConnectionWhileNoProxyAnswers)
{
    Relay relay({Upstream(ClosedPort(), 2), Upstream(ClosedPort(), 1)});
    for (int i = 0; i < 2; ++i)
        EXPECT_EQ(Fetch(relay.Port(), Ask::Socks5Address, 80).first, std::string("\x05\x01\0\x01\0\0\0\0\0\0", 10));
    EXPECT_EQ(Fetch(relay.Port(), Ask::Socks4, 80).first, std::string("\0\x5B\0\0\0\0\0\0", 8));
    const std::vector<RelayEvent> events = relay.Events();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].kind, RelayEvent::Kind::NoneAnswers);
    // A new list is used at once.
    SocksFixture fixture;
    const int page = fixture.AddPage();
    relay.relay.SetUpstreams({Upstream(fixture.AddSocks(SocksBehaviour()), 1)});
    EXPECT_NE(Fetch(relay.Port(), Ask::Socks4, page).second.find(kPageWord), std::string::npos);
}

// A port that refuses connections until Answer(): then, for a few
// connections, a SOCKS5 proxy that refuses every destination.
class LateProxy {
public:
    LateProxy() : fd_(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0))
    {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
    }
    ~LateProxy()
    {
        shutdown(fd_, SHUT_RDWR);  // ends a waiting accept
        if (server_.joinable())
            server_.join();
        close(fd_);
    }
    int Port() const { return port_; }
    void Answer()
    {
        listen(fd_, 8);
        server_ = std::thread([this] {
            for (int i = 0; i < 4; ++i) {
                const int client = accept(fd_, nullptr, nullptr);
                if (client < 0)
                    return;
                const timeval timeout = {5, 0};
                setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
                char request[64];
                if (recv(client, request, 3, MSG_WAITALL) == 3) {
                    (void)!send(client, "\x05\x00", 2, MSG_NOSIGNAL);
                    if (recv(client, request, 10, MSG_WAITALL) == 10)
                        (void)!send(client, "\x05\x02\x00\x01\0\0\0\0\0\0", 10, MSG_NOSIGNAL);
                }
                close(client);
            }
        });
    }

private:
    int fd_;
    int port_ = 0;
    std::thread server_;
};

TEST(SocksRelay, TriesTheListAgainAfterTenSecondsWhenNoneAnswered)
{
    LateProxy proxy;
    Relay relay({Upstream(proxy.Port(), 2)});
    EXPECT_EQ(Fetch(relay.Port(), Ask::Socks5Address, 80).first.substr(0, 2), std::string("\x05\x01", 2));
    proxy.Answer();
    EXPECT_EQ(Fetch(relay.Port(), Ask::Socks5Address, 80).first.substr(0, 2), std::string("\x05\x01", 2))
        << "not probed again so soon";
    std::this_thread::sleep_for(std::chrono::milliseconds(10100));
    EXPECT_EQ(Fetch(relay.Port(), Ask::Socks5Address, 80).first.substr(0, 2), std::string("\x05\x02", 2))
        << "the proxy's own refusal";
    const std::vector<RelayEvent> events = relay.Events();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].kind, RelayEvent::Kind::NoneAnswers);
    EXPECT_EQ(events[1].kind, RelayEvent::Kind::Recovered);
    EXPECT_EQ(events[1].to.port, proxy.Port());
}

TEST(SocksRelay, HostileClientsDoNotHurtOthers)
{
    SocksFixture fixture;
    const int page = fixture.AddPage();
    Relay relay({Upstream(fixture.AddSocks(SocksBehaviour()), 1)});
    Client garbage(relay.Port());
    garbage.Send("GET / HTTP/1.1\r\n\r\n");
    EXPECT_EQ(garbage.ReadToEnd(), "");
    Client oversized(relay.Port());
    oversized.Send("\x04\x01" + Port16(page) + std::string("\x7F\0\0\x01", 4) + std::string(4000, 'u'));
    EXPECT_LE(oversized.ReadToEnd().size(), 8u) << "closed, perhaps after a refusal";
    std::vector<std::unique_ptr<Client>> idle;
    for (int i = 0; i < 50; ++i) {
        idle.push_back(std::make_unique<Client>(relay.Port()));
        idle.back()->Send(i % 2 ? "\x05" : "");
    }
    EXPECT_NE(Fetch(relay.Port(), Ask::Socks5Name, page).second.find(kPageWord), std::string::npos);
    // The silent and half-way ones are dropped after the handshake's time.
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(idle.front()->ReadToEnd(), "");
    EXPECT_EQ(idle.back()->ReadToEnd(), "");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(15));
}
