#pragma once

#include "dicom/StudySource.h"

#include <QDialog>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

class QEventLoop;

namespace orblane {

class CDicomListDlg;

// The host of a run. It never shows a window of its own: it puts up the splash, reads the DICOMDIR, hands over to
// the study list once both the splash time and the reading are over, and ends when the list closes. With paths
// from the command line it opens them instead: a folder scan hands over as soon as the splash time is over and
// the list fills while it runs; files named one by one go to the viewer without a list.
class CQelViewerDlg : public QDialog
{
    Q_OBJECT

public:
    // mediumFolder: where the DICOMDIR is; by default the folder the settings name.
    explicit CQelViewerDlg(QWidget* parent = nullptr, std::string mediumFolder = {});
    ~CQelViewerDlg() override;

    // What the command line named, in place of the settings' DICOMDIR; set before exec.
    void SetPaths(std::vector<std::filesystem::path> named) { paths = std::move(named); }

    // Runs the initialisation, then waits, hidden, for the hand-over and the study list's end. Answers 1.
    int exec() override;
    void done(int result) override;

    // False when the run is already over (no splash, or a DICOMDIR that cannot be read).
    bool OnInitDialog();
    void OnSplashElapsed();
    void OnHandoverTimer();
    void RunStudyList();
    // Files named on the command line: every image found, in one viewer.
    void RunViewerOnFiles();

    bool DirLoaded() const { return dirLoaded; }
    bool SplashElapsed() const { return splashElapsed; }

protected:
    bool event(QEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    bool OpenSource();
    void OnListFinished(CDicomListDlg& list, const QString& keys);

    std::string folder;
    std::vector<std::filesystem::path> paths;
    std::unique_ptr<StudySource> source;
    StudySourceKind kind = StudySourceKind::DicomDir;
    std::vector<StudyEntry> filesRows;
    bool dirLoaded = false;
    bool splashElapsed = false;
    bool listStarted = false;
    bool ended = false;
    int handoverTimer = 0;
    QEventLoop* loop = nullptr;
};

} // namespace orblane
