#pragma once

#include <QString>

#include <string>

// The core keeps text as single-byte Latin-1 strings (file formats and the
// service speak it); these convert at the widget boundary.
QString ToUi(const std::string& singleByte);
// Characters outside Latin-1 become '?'.
std::string FromUi(const QString& text);
