#pragma once

#include <QString>

// Opens web pages in the desktop's browser; tests install a recorder instead.
class IUrlOpener {
public:
    virtual ~IUrlOpener() = default;
    virtual void Open(const QString& url) = 0;
};

// The process-wide opener: QDesktopServices unless a test installed its own.
IUrlOpener& UrlOpener();
// nullptr puts the desktop opener back.
void SetUrlOpenerForTest(IUrlOpener* opener);
