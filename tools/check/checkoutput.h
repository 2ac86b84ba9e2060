#pragma once

#include <string>

#include "data/proxy.h"

// How velmora-check writes the proxies that passed.
enum class OutputFormat {
    List,   // the proxy list file format: six tab-separated fields, CR LF
    Plain,  // ip:port lines
    Json,   // an array of objects: address, port, country, type, uptime, speedMs
};

// "list", "plain" or "json"; false for anything else.
bool ParseOutputFormat(const std::string& name, OutputFormat& format);

// The proxies in format; an empty list gives an empty text ("[]" in JSON).
std::string FormatProxies(const CProxyList& list, OutputFormat format);

// Writes text to the file at path, or to standard output when path is empty;
// false when the file cannot be created or a write fails.
bool WriteOutput(const std::string& text, const std::string& path);
