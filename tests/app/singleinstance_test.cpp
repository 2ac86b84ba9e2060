// One program per user: a later start hands over to the running copy.
#include "app/singleinstance.h"
#include "support/tempdir.h"
#include "support/ui/testapplication.h"

#include <QFile>
#include <QSignalSpy>

#include <gtest/gtest.h>

namespace {

TEST(SingleInstance, ALaterStartShowsTheRunningWindowAndADeadCopysSocketIsReplaced)
{
    EnsureTestApplication();
    TempDir dir;
    const QString path = QString::fromStdString(dir.Path() + "/velmora.socket");
    // A socket file left by a copy that was killed answers nobody.
    QFile(path).open(QIODevice::WriteOnly);

    CSingleInstance first(path);
    ASSERT_FALSE(first.HandOverToRunningCopy());
    QSignalSpy shown(&first, &CSingleInstance::showRequested);

    CSingleInstance second(path);
    EXPECT_TRUE(second.HandOverToRunningCopy());
    EXPECT_TRUE(shown.wait(2000));
}

}  // namespace
