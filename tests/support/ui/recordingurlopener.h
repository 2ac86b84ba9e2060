#pragma once

#include "widgets/urlopener.h"

#include <QStringList>

// Records the addresses instead of starting a browser while it lives.
class CRecordingUrlOpener : public IUrlOpener {
public:
    CRecordingUrlOpener() { SetUrlOpenerForTest(this); }
    ~CRecordingUrlOpener() override { SetUrlOpenerForTest(nullptr); }
    CRecordingUrlOpener(const CRecordingUrlOpener&) = delete;
    CRecordingUrlOpener& operator=(const CRecordingUrlOpener&) = delete;

    void Open(const QString& url) override { opened << url; }

    QStringList opened;
};
