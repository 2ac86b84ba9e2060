#pragma once

#include "data/proxy.h"

class CWorker;
class ITestProgressListener;

// One test run over list: queue it on worker (duplicates dropped), dispatch,
// then replace list with the proxies that passed, fastest first. The listener
// (may be nullptr) hears the progress and the completion. False, with nothing
// reported, for an empty list.
bool RunTest(CWorker& worker, CProxyList& list, ITestProgressListener* listener);
