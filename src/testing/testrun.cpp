#include "testing/testrun.h"

#include "service/curlglobal.h"
#include "testing/worker.h"

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
