#pragma once

#include <QApplication>

#include <gtest/gtest.h>

// One QApplication for a whole widget test program, destroyed when the tests
// end: tearing Qt down later, during static destruction, crashes.
class QtApplicationEnvironment : public ::testing::Environment {
public:
    void SetUp() override { app_ = new QApplication(argc_, argv_); }
    void TearDown() override { delete app_; }

private:
    int argc_ = 1;
    char name_[5] = "test";
    char* argv_[2] = {name_, nullptr};
    QApplication* app_ = nullptr;
};
