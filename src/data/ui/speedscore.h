#pragma once

// The Speed column's score: 100 for an instant answer, falling linearly to 0
// at the timeout, 0 beyond it and for an unmeasured proxy. A timeout of zero
// or less gives 0 instead of dividing by zero, and the result never leaves
// 0..100 (a negative speed from a hand-edited file counts as instant).
int SpeedScore(int speedMilliseconds, int timeoutMilliseconds);

// Position of the speed bar for a score: 100 stays 100, anything else is
// taken modulo 100.
int SpeedBarValue(int score);
