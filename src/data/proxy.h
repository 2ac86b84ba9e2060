#pragma once

#include <list>

// One SOCKS proxy: address, port, catalogue country, SOCKS type and the two
// figures of the speed test. Identity is the address text plus the port.
constexpr int kUnmeasuredSpeed = 3600000;  // one hour: "not measured"

// Values of CProxy::type: the SOCKS versions the tests found the proxy to
// speak ("Socks" when not tested).
constexpr int kTypeSocks = 0;
constexpr int kTypeSocks4 = 1;
constexpr int kTypeSocks5 = 2;
constexpr int kTypeSocks4And5 = 3;

struct CProxy {
    char ip[16];  // NUL-terminated, at most 15 characters
    int port = 0;
    int country = -1;              // catalogue index, -1 = none
    int type = kTypeSocks;         // 0 Socks, 1 Socks4, 2 Socks5, 3 Socks4/5
    int uptime = 0;                // successful fetches out of five, 0 = not rated
    int speed = kUnmeasuredSpeed;  // average response time in ms

    CProxy();
    CProxy(const char* ip, int port, int country, int type, int uptime, int speed);
    CProxy(const CProxy& other);
    CProxy& operator=(const CProxy& other);

    // Stores the text, or the empty text when it is longer than 15 characters.
    void SetIp(const char* text);
    // Same proxy: equal address text (byte by byte) and equal port.
    bool operator==(const CProxy& other) const;
    // A valid address and port: the only records that are tested or applied.
    bool IsUsable() const;
};

// A dotted IPv4 address: exactly four decimal numbers 0 to 255 ("10.1.2.3").
bool IsValidProxyAddress(const char* text);
// A TCP port: 1 to 65535.
constexpr bool IsValidProxyPort(int port)
{
    return port >= 1 && port <= 65535;
}

using CProxyList = std::list<CProxy>;  // positions are iterators, end() means none

// The process-wide list the proxy table shows; created empty on first call.
CProxyList& GetProxyList();

// First entry from the head equal to proxy by identity, or list.end().
CProxyList::iterator FindProxy(CProxyList& list, const CProxy& proxy);

// Position of entry index, or list.end() when index < 0 or index >= size.
CProxyList::iterator EntryAt(CProxyList& list, int index);

enum SortKey { SortByCountry = 0, SortByUptime = 2, SortBySpeed = 3 };

// Orders by speed ascending (stable), then groups by the key: uptime 5..1 or
// catalogue index, speed staying the inner order. normalOrder false reverses
// the key's order. Entries outside the key's range (uptime not 1..5, country
// not in the catalogue) follow all grouped entries in ascending speed.
void SortProxyList(CProxyList& list, SortKey key, bool normalOrder);
