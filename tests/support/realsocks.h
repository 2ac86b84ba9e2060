#pragma once

#include <memory>
#include <string>

#include "tempdir.h"

// A real SOCKS server from Debian on a free loopback port, for one test:
// dante (danted, SOCKS4 and SOCKS5) or microsocks (SOCKS5 only). Relays only
// to loopback targets. Stopped when the object goes.
//
//   std::string why;
//   auto dante = RealSocksServer::StartDante(why);
//   if (!dante) GTEST_SKIP() << why;
class RealSocksServer {
public:
    static std::unique_ptr<RealSocksServer> StartDante(std::string& whyNot);
    static std::unique_ptr<RealSocksServer> StartMicrosocks(std::string& whyNot);

    ~RealSocksServer();
    RealSocksServer(const RealSocksServer&) = delete;
    RealSocksServer& operator=(const RealSocksServer&) = delete;

    int Port() const { return port; }

private:
    RealSocksServer() = default;
    // Runs program in a process group of its own and waits until it accepts
    // connections on port; false with a reason otherwise.
    bool Launch(const std::string& program, const std::string* args, int argCount, std::string& whyNot);

    TempDir dir;
    int port = 0;
    int pid = -1;
};
