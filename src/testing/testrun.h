#pragma once

#include "data/proxy.h"

class CWorker;

// One test run over list: queue it on worker (duplicates dropped), dispatch,
// then replace list with the proxies that passed, fastest first, and post the
// completion to progressWindow. False, with nothing posted, for an empty list.
bool RunTest(CWorker& worker, void (*dispatcher)(CWorker&), CProxyList& list);

// Run-thread procedures over the process-wide proxy list and workers.
bool RunAvailabilityTest();
bool RunSpeedTest();

// The cancel step of a run on worker: the dispatcher starts no more jobs and
// the transfers under way end at once. Proxies that passed so far are kept.
void CancelTest(CWorker& worker);
