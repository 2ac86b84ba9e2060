#pragma once

#include <string>

class TempDir;

// A small country catalogue for widget tests, written into dir as
// countries.nbx plus flags/XX.png (25 x 15, one plain colour each):
//   0 DE Germany, 1 FR France, 2 US United States, 3 JP Japan (no flag file).
// Call ResetCountryCatalogueForTest() after changing into dir.
void WriteTestCountries(const TempDir& dir);

constexpr int kTestGermany = 0;
constexpr int kTestFrance = 1;
constexpr int kTestUnitedStates = 2;
constexpr int kTestJapanWithoutFlag = 3;
