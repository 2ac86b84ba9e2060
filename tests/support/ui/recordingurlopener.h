#pragma once

#include "widgets/urlopener.h"

#include <QStringList>

// Records the addresses instead of starting a browser.
class CRecordingUrlOpener : public IUrlOpener {
public:
    void Open(const QString& url) override { opened << url; }

    QStringList opened;
};
