#pragma once

class QApplication;

// The one QApplication of a widget test program, created on the first call
// (call it from SetUpTestSuite or the test body before making widgets).
QApplication& EnsureTestApplication();
