#include "checkinput.h"

#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <unistd.h>
#include <vector>

#include "data/proxyfile.h"
#include "tempfile.h"

namespace {
constexpr size_t kMaxLine = 255;

bool IsInteger(const std::string& text, long low, long high)
{
    size_t i = !text.empty() && text[0] == '-' ? 1 : 0;
    if (i == text.size() || text.size() > 11)
        return false;
    for (size_t j = i; j < text.size(); ++j)
        if (text[j] < '0' || text[j] > '9')
            return false;
    const long value = std::strtol(text.c_str(), nullptr, 10);
    return value >= low && value <= high;
}

// Why line is not a proxy line of six tab-separated fields, or "" when it is.
std::string LineProblem(const std::string& line)
{
    if (line.size() > kMaxLine)
        return "longer than 255 characters";
    std::vector<std::string> fields;
    std::istringstream split(line);
    for (std::string field; std::getline(split, field, '\t');)
        fields.push_back(field);
    if (!line.empty() && line.back() == '\t')
        fields.emplace_back();
    if (fields.size() != 6)
        return "has " + std::to_string(fields.size()) + " fields instead of 6 (ip, port, country, type, uptime, speed)";
    if (fields[0].empty() || fields[0].size() > 15)
        return "the address must be 1 to 15 characters";
    if (!IsInteger(fields[1], 1, 65535))
        return "the port must be 1 to 65535";
    if (!IsInteger(fields[2], -1, 65535))
        return "the country must be a catalogue index or -1";
    if (!IsInteger(fields[3], 0, 3))
        return "the type must be 0 to 3";
    if (!IsInteger(fields[4], 0, 5))
        return "the uptime must be 0 to 5";
    if (!IsInteger(fields[5], 0, 2147483647))
        return "the speed must be a number of milliseconds";
    return "";
}

// Every line a proxy; empty lines only at the end, where the list stops.
bool CheckLines(const std::string& name, const std::string& content, std::string& error)
{
    std::istringstream lines(content);
    int number = 0, emptyAt = 0;
    for (std::string line; std::getline(lines, line);) {
        ++number;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty()) {
            emptyAt = emptyAt ? emptyAt : number;
            continue;
        }
        std::string problem = emptyAt ? "follows the empty line " + std::to_string(emptyAt) + ", which ends the list"
                                      : LineProblem(line);
        if (!problem.empty()) {
            error = name + ":" + std::to_string(number) + ": " + problem;
            return false;
        }
    }
    return true;
}
}  // namespace

bool ReadCheckInput(const std::string& path, CProxyList& list, std::string& error)
{
    const bool standardInput = path == "-";
    const std::string name = standardInput ? "standard input" : path;
    std::string content;
    if (standardInput) {
        content.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
    } else {
        std::ifstream in(path, std::ios::binary);
        if (!in) {
            error = "cannot open " + path;
            return false;
        }
        content.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        if (in.bad()) {
            error = "cannot read " + path;
            return false;
        }
    }
    if (!CheckLines(name, content, error))
        return false;
    if (!standardInput) {
        if (!ReadProxyFile(list, path, true)) {
            error = "cannot read " + path;
            return false;
        }
        return true;
    }

    // The proxy file reader takes a path: hand it the bytes through a temporary file.
    const std::string temporary = MakeTemporaryFile();
    bool read = false;
    if (!temporary.empty()) {
        std::ofstream out(temporary, std::ios::binary);
        out << content;
        out.close();
        read = out.good() && ReadProxyFile(list, temporary, true);
    }
    if (!temporary.empty())
        unlink(temporary.c_str());
    if (!read)
        error = "cannot buffer standard input in a temporary file";
    return read;
}
