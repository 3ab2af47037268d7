// "Orblane [PATH...]": folders (with or without a DICOMDIR), a DICOMDIR file or DICOM files to open instead of the
// settings' DICOMDIR (see CQelViewerApp). The other use is the report-only run that a crashed instance starts to
// show its error (see UnhandledFailure.h).
#include "app/CErrorDlg.h"
#include "app/CQelViewerApp.h"
#include "core/ErrorCatalogue.h"
#include "core/ErrorReport.h"
#include "core/UnhandledFailure.h"
#include "platform/ErrorSink.h"

#include <QApplication>

int main(int argc, char** argv)
{
    using namespace orblane;
    if (const auto number = ReportOptionNumber(argc, argv))
    {
        QApplication application(argc, argv);
        QApplication::setApplicationDisplayName(QString::fromLatin1(CQelViewerApp::kDisplayName));
        InstallApplicationErrorHandler(&PresentErrorDialog);
        if (LoadErrorCatalogue())
        {
            RaiseError("11002", *number, true);
        }
        return 0;
    }

    CQelViewerApp application(argc, argv);
    try
    {
        application.InitInstance();
    }
    catch (...)
    {
        RaiseError("11002", kCppException, true);
    }
    return application.ExitInstance();
}
