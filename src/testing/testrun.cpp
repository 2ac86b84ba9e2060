#include "testing/testrun.h"

#include "service/curlglobal.h"
#include "testing/checkanonymousworker.h"
#include "testing/testspeedworker.h"

bool RunTest(CWorker& worker, CProxyList& list, ITestProgressListener* listener)
{
    if (list.empty())
        return false;
    EnsureCurlGlobalInit();  // before the dispatcher makes a handle
    worker.SetProgressListener(listener);
    worker.AddProxies(list);
    worker.RunDispatcher();
    worker.TakeResults(list);
    worker.ResetLists();
    SortProxyList(list, SortBySpeed, true);
    worker.ReportComplete();
    worker.SetProgressListener(nullptr);
    return true;
}

bool RunAvailabilityTest(ITestProgressListener* listener)
{
    return RunTest(GetCheckAnonymousWorker(), GetProxyList(), listener);
}

bool RunSpeedTest(ITestProgressListener* listener)
{
    return RunTest(GetTestSpeedWorker(), GetProxyList(), listener);
}
