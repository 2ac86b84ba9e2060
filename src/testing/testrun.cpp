#include "testing/testrun.h"

#include "service/curlglobal.h"
#include "testing/checkanonymousworker.h"
#include "testing/testflags.h"
#include "testing/testspeedworker.h"
#include "testing/transferloop.h"

bool RunTest(CWorker& worker, void (*dispatcher)(CWorker&), CProxyList& list)
{
    if (list.empty())
        return false;
    EnsureCurlGlobalInit();  // before any job thread makes a handle
    AddProxies(worker, list);
    RunDispatcher(worker, dispatcher);
    TakeResults(worker, list);
    ResetLists(worker);
    SortProxyList(list, SortBySpeed, true);
    PostTestComplete();
    return true;
}

bool RunAvailabilityTest()
{
    return RunTest(GetCheckAnonymousWorker(), CheckAnonymousDispatcher, GetProxyList());
}

bool RunSpeedTest()
{
    return RunTest(GetTestSpeedWorker(), TestSpeedDispatcher, GetProxyList());
}

void CancelTest(CWorker& worker)
{
    testCanceled() = true;
    worker.running = false;
    WakeTransfers();
}
