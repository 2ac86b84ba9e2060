#pragma once

#include <gtest/gtest.h>

#include <QObject>
#include <QString>

#include <memory>
#include <stdexcept>
#include <string>

#include "support/tempdir.h"
#include "support/ui/scriptedprompt.h"

// The child of parent with this object name; a missing one fails the test.
template <typename T>
T* Child(const QObject& parent, const char* objectName)
{
    T* child = parent.findChild<T*>(QString::fromLatin1(objectName));
    if (!child)
        throw std::runtime_error(std::string("no child named ") + objectName);
    return child;
}

// Every test runs in a fresh working folder with freshly defaulted settings
// in memory, no settings file on disk, and message boxes answered by script.
class SettingUiTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    bool SettingFileWritten() const;
    std::string SettingFile() const { return dir_.ReadFile("setting.nbx"); }
    // True when the file holds this whole line, e.g. "Test Type\t1" (CR LF line ends).
    bool SettingFileHasLine(const std::string& line) const;

    TempDir dir_;
    std::unique_ptr<ScopedChdir> chdir_;
    CScriptedPrompt prompt_;
};
