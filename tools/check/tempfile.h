#pragma once

#include <string>

// Creates an empty file of its own under $TMPDIR (or /tmp) and returns its
// path, or "" when that fails. The proxy file functions take paths, so
// standard input and output pass through such a file.
std::string MakeTemporaryFile();
