#include "app/CQelViewerDlg.h"

#include "app/ApplicationState.h"
#include "app/CSplashWnd.h"
#include "dicom/DicomDirFileIO.h"
#include "platform/SettingsPaths.h"
#include "studylist/CDicomListDlg.h"
#include "viewer/Pictures.h"

#include <QEventLoop>
#include <QTimerEvent>

namespace orblane {

CQelViewerDlg::CQelViewerDlg(QWidget* parent, std::string mediumFolder)
    : QDialog(parent), folder(std::move(mediumFolder))
{
    setWindowTitle(QStringLiteral("TALVIREN DICOM MEDIA Viewer"));
    setWindowIcon(LoadApplicationIcon());
}

CQelViewerDlg::~CQelViewerDlg() = default;

int CQelViewerDlg::exec()
{
    setResult(0);
    if (!OnInitDialog() || ended)
    {
        return result();
    }
    // The host stays hidden: it only needs a loop in which the splash's message and the timer arrive.
    QEventLoop waiting;
    loop = &waiting;
    waiting.exec(QEventLoop::DialogExec);
    loop = nullptr;
    return result();
}

void CQelViewerDlg::done(int code)
{
    ended = true;
    setResult(code);
    hide();
    if (loop != nullptr)
    {
        loop->exit(code);
    }
}

bool CQelViewerDlg::OnInitDialog()
{
    dirLoaded = false;
    splashElapsed = false;
    if (CSplashWnd::ShowSplash(this) == 0)
    {
        done(1);
        return false;
    }
    reader = std::make_unique<DicomDirFileIO>();
    // The splash stays up even if its time runs out while the DICOMDIR is read.
    AppState().splashRelease = 0;
    if (folder.empty())
    {
        folder = GetDicomDirFolder();
    }
    if (reader->OpenDicomDir(folder) != 0)
    {
        // The reader has reported "10103"; the run ends without a list. The splash goes with it.
        AppState().splashRelease = 1;
        CSplashWnd::HideSplash();
        reader.reset();
        done(1);
        return false;
    }
    AppState().splashRelease = 1;
    dirLoaded = true;
    if (splashElapsed)
    {
        handoverTimer = startTimer(0);
    }
    hide();
    return true;
}

bool CQelViewerDlg::event(QEvent* event)
{
    if (event->type() == kSplashElapsedEvent)
    {
        OnSplashElapsed();
        return true;
    }
    return QDialog::event(event);
}

void CQelViewerDlg::timerEvent(QTimerEvent* event)
{
    if (handoverTimer != 0 && event->timerId() == handoverTimer)
    {
        OnHandoverTimer();
        return;
    }
    QDialog::timerEvent(event);
}

void CQelViewerDlg::OnSplashElapsed()
{
    splashElapsed = true;
    if (dirLoaded)
    {
        RunStudyList();
    }
}

void CQelViewerDlg::OnHandoverTimer()
{
    killTimer(handoverTimer);
    handoverTimer = 0;
    CSplashWnd::HideSplash();
    RunStudyList();
}

void CQelViewerDlg::RunStudyList()
{
    // Whichever of the two hand-over paths comes second must not open a second list.
    if (listStarted || ended)
    {
        return;
    }
    listStarted = true;
    {
        CDicomListDlg list;
        list.SetDirectory(reader.get());
        list.exec();
    }
    reader.reset();
    done(1);
}

} // namespace orblane
