#pragma once

#include <QString>

// Opens web pages in the desktop's browser; tests hand in a recorder instead.
class IUrlOpener {
public:
    virtual ~IUrlOpener() = default;
    virtual void Open(const QString& url) = 0;
};

// Opens pages with QDesktopServices.
class CDesktopUrlOpener : public IUrlOpener {
public:
    void Open(const QString& url) override;
};
