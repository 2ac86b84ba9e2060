// Checks the files the build generates into the run folder: countries.nbx and
// flags/XX.png.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "data/countrycatalogue.h"

namespace {

const std::string kRunDir = std::getenv("VELMORA_RUN_DIR") ? std::getenv("VELMORA_RUN_DIR") : "";

std::string ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

unsigned BigEndian32(const std::string& bytes, size_t at)
{
    unsigned value = 0;
    for (size_t i = at; i < at + 4; ++i)
        value = value << 8 | static_cast<unsigned char>(bytes[i]);
    return value;
}

TEST(GeneratedDataFiles, CountryFileIsACatalogueOfTwoLetterCodesSortedByCode)
{
    ASSERT_FALSE(kRunDir.empty()) << "VELMORA_RUN_DIR not set";
    const std::string path = kRunDir + "/countries.nbx";
    CCountryCatalogue catalogue;
    ASSERT_TRUE(catalogue.Load(path)) << path;
    ASSERT_GE(catalogue.Count(), 240);  // ISO 3166-1 has about 250 countries

    std::string previous;
    std::map<std::string, std::string> names;
    for (int i = 0; i < catalogue.Count(); ++i) {
        const CCountryEntry& entry = *catalogue.EntryAt(i);
        ASSERT_EQ(entry.code.size(), 2u) << "line " << i;
        EXPECT_TRUE(std::isupper(static_cast<unsigned char>(entry.code[0]))
                    && std::isupper(static_cast<unsigned char>(entry.code[1])))
            << entry.code;
        EXPECT_FALSE(entry.name.empty()) << entry.code;
        EXPECT_LT(previous, entry.code);
        previous = entry.code;
        names[entry.code] = entry.name;
    }
    // iso-codes' common names where it has them, else the short names.
    EXPECT_EQ(names["US"], "United States");
    EXPECT_EQ(names["KR"], "South Korea");
    EXPECT_EQ(names["TW"], "Taiwan");
    EXPECT_EQ(names["BO"], "Bolivia");

    const std::string bytes = ReadBytes(path);
    size_t lines = 0;
    for (size_t at = bytes.find('\n'); at != std::string::npos; at = bytes.find('\n', at + 1), ++lines)
        ASSERT_TRUE(at > 0 && bytes[at - 1] == '\r') << "bare LF at byte " << at;
    EXPECT_EQ(lines, static_cast<size_t>(catalogue.Count()));
    EXPECT_EQ(bytes.back(), '\n');
}

TEST(GeneratedDataFiles, FlagsAre25By15PngsNamedByCatalogueCodes)
{
    ASSERT_FALSE(kRunDir.empty()) << "VELMORA_RUN_DIR not set";
    CCountryCatalogue catalogue;
    ASSERT_TRUE(catalogue.Load(kRunDir + "/countries.nbx"));
    int flags = 0;
    for (int i = 0; i < catalogue.Count(); ++i) {
        const std::string path = kRunDir + "/flags/" + catalogue.EntryAt(i)->code + ".png";
        if (!std::filesystem::exists(path))
            continue;  // allowed: that country is shown without a flag
        const std::string png = ReadBytes(path);
        ASSERT_GE(png.size(), 24u) << path;
        EXPECT_EQ(png.substr(0, 8), "\x89PNG\r\n\x1a\n") << path;
        EXPECT_EQ(png.substr(12, 4), "IHDR") << path;
        EXPECT_EQ(BigEndian32(png, 16), 25u) << path;
        EXPECT_EQ(BigEndian32(png, 20), 15u) << path;
        ++flags;
    }
    EXPECT_GE(flags, catalogue.Count() * 9 / 10);  // either flag source covers this many
    EXPECT_TRUE(std::filesystem::exists(kRunDir + "/flags/US.png"));
}

}  // namespace
