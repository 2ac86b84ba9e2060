// Proxy list files far larger or far worse than the service sends: a million
// lines, a million copies of one line, binary noise. Reading completes, keeps
// every record inside its rules and stays within sane memory.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <unordered_set>

#include "data/proxyfile.h"
#include "support/peakmemory.h"
#include "support/tempdir.h"

namespace {
// Line i of a list of distinct loopback proxies.
std::string ProxyLine(int i)
{
    return "127." + std::to_string((i >> 16) & 255) + "." + std::to_string((i >> 8) & 255) + "."
           + std::to_string(i & 255) + "\t" + std::to_string(1080 + (i >> 24)) + "\t" + std::to_string(i % 200) + "\t"
           + std::to_string(i % 4) + "\t" + std::to_string(i % 6) + "\t" + std::to_string(i % 5000) + "\r\n";
}

std::string WriteLines(const TempDir& dir, const std::string& name, int count, std::string (*line)(int))
{
    const std::string path = dir.File(name);
    FILE* file = std::fopen(path.c_str(), "wb");
    EXPECT_NE(file, nullptr);
    for (int i = 0; i < count && file; ++i) {
        const std::string text = line(i);
        std::fwrite(text.data(), 1, text.size(), file);
    }
    if (file)
        std::fclose(file);
    return path;
}

void ExpectWithinTheRules(const CProxyList& list)
{
    std::unordered_set<std::string> seen;
    for (const CProxy& proxy : list) {
        ASSERT_LT(strnlen(proxy.ip, sizeof proxy.ip), sizeof proxy.ip);
        EXPECT_NE(proxy.port, 0);
        EXPECT_LE(proxy.type, 3);
        EXPECT_TRUE(seen.insert(std::string(proxy.ip) + ":" + std::to_string(proxy.port)).second)
            << "duplicate " << proxy.ip << ":" << proxy.port;
    }
}
}  // namespace

TEST(HostileProxyFile, AMillionLinesAreAllReadInSaneMemory)
{
    constexpr int kLines = 1000000;
    TempDir dir;
    const std::string path = WriteLines(dir, "proxy.tmp", kLines, ProxyLine);
    CProxyList list;
    list.emplace_back("127.0.0.0", 1080, 0, 0, 0, 7);  // line 0 repeats it: the old entry stays

    const bool canMeasure = PeakMemory::Reset();
    const size_t before = PeakMemory::CurrentKiB();
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(ReadProxyFile(list, path, false));
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const size_t grownMiB = canMeasure ? (PeakMemory::PeakKiB() - before) / 1024 : 0;
    std::printf("read %zu proxies in %.2f s, memory +%zu MiB\n", list.size(), seconds, grownMiB);

    EXPECT_EQ(list.size(), static_cast<size_t>(kLines));
    EXPECT_EQ(list.front().speed, 7);
    EXPECT_STREQ(list.back().ip, "127.15.66.63");
    EXPECT_EQ(list.back().speed, (kLines - 1) % 5000);
    if (canMeasure) {
        EXPECT_LT(grownMiB, 400u);  // about 100 bytes a record, far from a copy per line
    }

    ASSERT_TRUE(ReadProxyFile(list, path, true));  // replace reads the same again
    EXPECT_EQ(list.size(), static_cast<size_t>(kLines));
    EXPECT_EQ(list.front().speed, 0);
}

TEST(HostileProxyFile, AMillionCopiesOfOneLineGiveOneEntry)
{
    TempDir dir;
    const std::string path =
        WriteLines(dir, "proxy.tmp", 1000000, [](int) { return std::string("127.0.0.9\t1080\t1\t2\t3\t400\r\n"); });
    CProxyList list;
    ASSERT_TRUE(ReadProxyFile(list, path, true));
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list.front().speed, 400);
}

TEST(HostileProxyFile, NoiseNeverBreaksTheRecordRules)
{
    TempDir dir;
    std::mt19937 random(31337);
    const std::string alphabet = "0123456789.\t\r\n-+ 127.0.0.1\t1080\t";
    for (int round = 0; round < 200; ++round) {
        std::string bytes(random() % 20000, '\0');
        for (char& c : bytes)
            c = random() % 4 ? alphabet[random() % alphabet.size()] : static_cast<char>(random());
        const std::string path = dir.WriteFile("noise.tmp", bytes);
        CProxyList list;
        SCOPED_TRACE("round " + std::to_string(round));
        ASSERT_TRUE(ReadProxyFile(list, path, true));
        ExpectWithinTheRules(list);
    }
}
