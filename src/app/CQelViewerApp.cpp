#include "app/CQelViewerApp.h"

#include "core/ApplicationState.h"
#include "app/CErrorDlg.h"
#include "app/CQelViewerDlg.h"
#include "core/ErrorCatalogue.h"
#include "core/ErrorReport.h"
#include "core/StartupChecks.h"
#include "core/UnhandledFailure.h"
#include "platform/ErrorSink.h"
#include "platform/ModulePath.h"

#include <string>

namespace orblane {

CQelViewerApp::CQelViewerApp(int& argc, char** argv) : QApplication(argc, argv)
{
    InstallUnhandledFailureReport();
    InstallApplicationErrorHandler(&PresentErrorDialog);
}

bool CQelViewerApp::InitInstance()
{
    ApplicationState& state = AppState();
    // A lock that cannot be taken at all (no writable runtime folder) does not keep the viewer from starting;
    // only a lock held by a running instance does.
    if (state.instanceLock.Acquire(InstanceLock::DefaultFolder(), kInstanceLockName) ==
        InstanceLock::Outcome::HeldByAnotherProcess)
    {
        return false;
    }
    if (!LoadErrorCatalogue())
    {
        return false;
    }
    setApplicationDisplayName(QString::fromLatin1(kDisplayName));

    const std::string_view failed = FirstFailedStartupCheck(GetModuleFolder());
    if (!failed.empty())
    {
        RaiseError(failed, 0, true);
        return false;
    }

    CQelViewerDlg host;
    host.exec();
    return true;
}

int CQelViewerApp::ExitInstance()
{
    ReleaseApplicationState();
    return 0;
}

bool CQelViewerApp::notify(QObject* receiver, QEvent* event)
{
    try
    {
        return QApplication::notify(receiver, event);
    }
    catch (...)
    {
        RaiseError("11002", kCppException, true);
    }
    return false;
}

} // namespace orblane
