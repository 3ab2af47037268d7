#include "app/CQelViewerDlg.h"

#include "app/CSplashWnd.h"
#include "core/ApplicationState.h"
#include "core/RunTrace.h"
#include "dicom/DicomDirFileIO.h"
#include "dicom/DicomDirStudySource.h"
#include "platform/ErrorSink.h"
#include "platform/SettingsPaths.h"
#include "studylist/CDicomListDlg.h"
#include "viewer/CDlgImgViewer.h"
#include "widgets/Pictures.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QKeyEvent>
#include <QKeySequence>
#include <QTimer>
#include <QTimerEvent>

namespace orblane {

namespace {

// ORBLANE_TEST_KEYS="Key,Key,..." types those keys, one every 250 ms, into whatever has the keyboard focus once the
// study list shows ("Wait" types nothing for one step): whole-program tests drive the real program with it.
constexpr int kKeyStepMilliseconds = 250;

void Trace(const QString& line)
{
    orblane::Trace(line.toStdString());
}

QElapsedTimer& SinceSplash()
{
    static QElapsedTimer clock;
    return clock;
}

void TraceList(CDicomListDlg& list)
{
    Trace(QStringLiteral("study list after %1 ms: %2 rows").arg(SinceSplash().elapsed()).arg(list.List().RowCount()));
    for (int row = 0; row < list.List().RowCount() && row < 50; ++row)
    {
        QStringList texts;
        for (int column = 0; column < DicomDirList::kColumnCount; ++column)
        {
            texts << list.List().RowText(row, column);
        }
        Trace(QStringLiteral("row %1: %2").arg(row).arg(texts.join(QStringLiteral(" | "))));
    }
    if (list.List().RowCount() > 0)
    {
        // Where a whole-program test clicks the top row, in the list window's own coordinates (which a window
        // manager's frame or a later maximise does not move).
        const QRect first = list.List().visualRect(list.List().model()->index(0, 0));
        const QPoint centre = list.List().viewport()->mapTo(&list, first.center());
        Trace(QStringLiteral("top row centre at %1,%2").arg(centre.x()).arg(centre.y()));
    }
}

void TypeKeys(const QStringList& keys, qsizetype next)
{
    if (next >= keys.size())
    {
        return;
    }
    const QKeySequence sequence = QKeySequence::fromString(keys[next].trimmed());
    QWidget* target = QApplication::focusWidget();
    if (target == nullptr)
    {
        target = QApplication::activeModalWidget();
    }
    if (!sequence.isEmpty() && target != nullptr)
    {
        Trace(QStringLiteral("key %1 to %2").arg(keys[next], QString::fromLatin1(target->metaObject()->className())));
        const QKeyCombination combination = sequence[0];
        QCoreApplication::postEvent(
            target, new QKeyEvent(QEvent::KeyPress, combination.key(), combination.keyboardModifiers()));
        QCoreApplication::postEvent(
            target, new QKeyEvent(QEvent::KeyRelease, combination.key(), combination.keyboardModifiers()));
    }
    // The timer belongs to the application, so the keys keep coming while nested dialogs run.
    QTimer::singleShot(kKeyStepMilliseconds, QCoreApplication::instance(), [keys, next] { TypeKeys(keys, next + 1); });
}

} // namespace

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
    SinceSplash().start();
    if (CSplashWnd::ShowSplash(this) == 0)
    {
        done(1);
        return false;
    }
    Trace(QStringLiteral("splash shown"));
    // The splash stays up even if its time runs out while the DICOMDIR is read.
    AppState().splashRelease = 0;
    if (!OpenSource())
    {
        // The run ends without a list. The splash goes with it.
        AppState().splashRelease = 1;
        CSplashWnd::HideSplash();
        source.reset();
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

bool CQelViewerDlg::OpenSource()
{
    if (paths.empty())
    {
        auto reader = std::make_unique<DicomDirFileIO>();
        if (folder.empty())
        {
            folder = GetDicomDirFolder();
        }
        if (reader->OpenDicomDir(folder) != 0)
        {
            RaiseError(reader->LastError(), false);
            return false;
        }
        if (TraceOn())
        {
            Trace(QStringLiteral("DICOMDIR read after %1 ms: %2 studies")
                      .arg(SinceSplash().elapsed())
                      .arg(reader->StudyCount()));
        }
        source = std::make_unique<DicomDirStudySource>(std::move(reader));
        kind = StudySourceKind::DicomDir;
        return true;
    }
    OpenedStudySource opened = OpenStudySource(paths);
    if (!opened.source)
    {
        RaiseError(opened.error, false);
        return false;
    }
    source = std::move(opened.source);
    kind = opened.kind;
    if (kind == StudySourceKind::Files)
    {
        // A few files: read while the splash shows, so that the viewer opens with all of them or not at all.
        source->WaitUntilFinished();
        std::vector<StudyEntry> rows;
        std::vector<StudyEntry> changed;
        source->TakeRows(rows, changed);
        if (rows.empty())
        {
            RaiseError(ErrorOutcome{ErrorCode::DicomDirUnreadable, 0}, false);
            return false;
        }
        // The rows are taken once: hand them back through a source that holds only them.
        filesRows = std::move(rows);
    }
    if (TraceOn())
    {
        Trace(QStringLiteral("paths opened after %1 ms").arg(SinceSplash().elapsed()));
    }
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
    if (kind == StudySourceKind::Files)
    {
        RunViewerOnFiles();
        source.reset();
        done(1);
        return;
    }
    {
        CDicomListDlg list;
        list.SetSource(source.get());
        const QString keys = qEnvironmentVariable("ORBLANE_TEST_KEYS");
        // Queued: a DICOMDIR's list has finished inside its initialisation, before its window shows.
        connect(
            &list, &CDicomListDlg::SourceFinished, &list, [this, &list, keys] { OnListFinished(list, keys); },
            Qt::QueuedConnection);
        list.exec();
    }
    source.reset();
    done(1);
}

void CQelViewerDlg::OnListFinished(CDicomListDlg& list, const QString& keys)
{
    if (kind != StudySourceKind::DicomDir && list.List().RowCount() == 0)
    {
        // Named paths that hold no DICOM image end the run as a missing DICOMDIR does.
        Trace(QStringLiteral("no images found in %1 files").arg(source->FilesRead()));
        RaiseError(ErrorOutcome{ErrorCode::DicomDirUnreadable, 0}, false);
        list.reject();
        return;
    }
    if (TraceOn())
    {
        TraceList(list);
    }
    if (!keys.isEmpty())
    {
        // The first key waits a step too, for the list's window to become the active one.
        QTimer::singleShot(kKeyStepMilliseconds, QCoreApplication::instance(),
                           [keys] { TypeKeys(keys.split(QLatin1Char(','), Qt::SkipEmptyParts), 0); });
    }
}

void CQelViewerDlg::RunViewerOnFiles()
{
    CDlgImgViewer viewer;
    DicomFileChain chain;
    for (const StudyEntry& row : filesRows)
    {
        source->CollectImageFiles(chain, row.firstSeries, row.studyDateTime.value_or(u" "));
    }
    QString files;
    for (std::unique_ptr<DicomDataFileIO>& file : chain)
    {
        files += QStringLiteral(" ") + QString::fromStdString(file->FileId());
        viewer.AddImageFile(std::move(file));
    }
    Trace(QStringLiteral("viewer opened with %1 files:%2").arg(viewer.Images().FileCount()).arg(files));
    const QString keys = qEnvironmentVariable("ORBLANE_TEST_KEYS");
    if (!keys.isEmpty())
    {
        QTimer::singleShot(kKeyStepMilliseconds, QCoreApplication::instance(),
                           [keys] { TypeKeys(keys.split(QLatin1Char(','), Qt::SkipEmptyParts), 0); });
    }
    // A study of reports alone opens into its report: an empty page of tiles would hide it.
    if (!viewer.RunReportsOnly())
    {
        viewer.exec();
    }
    Trace(QStringLiteral("viewer closed"));
}

} // namespace orblane
