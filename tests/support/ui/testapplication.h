#pragma once

class QApplication;

#include <gtest/gtest.h>

// The one QApplication of a widget test program, created on the first call
// (call it from SetUpTestSuite or the test body before making widgets).
QApplication& EnsureTestApplication();

// For test programs of plain TESTs: creates the application before the first test.
class TestApplicationEnvironment : public ::testing::Environment {
public:
    void SetUp() override { EnsureTestApplication(); }
};
