#include "app/CQelViewerApp.h"

#include "app/CErrorDlg.h"
#include "app/CQelViewerDlg.h"
#include "core/ApplicationState.h"
#include "core/ErrorCatalogue.h"
#include "core/ErrorReport.h"
#include "core/StartupChecks.h"
#include "core/UnhandledFailure.h"
#include "platform/ErrorSink.h"
#include "platform/ModulePath.h"

#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

namespace orblane {

CQelViewerApp::CQelViewerApp(int& argc, char** argv) : QApplication(argc, argv)
{
    InstallUnhandledFailureReport();
    InstallApplicationErrorHandler(&PresentErrorDialog);
    for (int index = 1; index < argc; ++index)
    {
        paths.emplace_back(argv[index]);
    }
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

    // Paths on the command line replace the settings' DICOMDIR, and its check with their own: each must exist.
    std::string_view failed = FirstFailedStartupCheck(GetModuleFolder(), paths.empty());
    for (const std::filesystem::path& path : paths)
    {
        std::error_code error;
        if (failed.empty() && !std::filesystem::exists(path, error))
        {
            failed = ErrorCodeText(ErrorCode::DicomDirUnreadable);
        }
    }
    if (!failed.empty())
    {
        RaiseError(failed, 0, true);
        return false;
    }

    CQelViewerDlg host;
    host.SetPaths(std::move(paths));
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
