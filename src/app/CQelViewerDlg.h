#pragma once

#include <QDialog>

#include <memory>
#include <string>

class QEventLoop;

namespace orblane {

class DicomDirFileIO;

// The host of a run. It never shows a window of its own: it puts up the splash, reads the DICOMDIR, hands over to
// the study list once both the splash time and the reading are over, and ends when the list closes.
class CQelViewerDlg : public QDialog
{
    Q_OBJECT

public:
    // mediumFolder: where the DICOMDIR is; by default the folder the settings name.
    explicit CQelViewerDlg(QWidget* parent = nullptr, std::string mediumFolder = {});
    ~CQelViewerDlg() override;

    // Runs the initialisation, then waits, hidden, for the hand-over and the study list's end. Answers 1.
    int exec() override;
    void done(int result) override;

    // False when the run is already over (no splash, or a DICOMDIR that cannot be read).
    bool OnInitDialog();
    void OnSplashElapsed();
    void OnHandoverTimer();
    void RunStudyList();

    bool DirLoaded() const { return dirLoaded; }
    bool SplashElapsed() const { return splashElapsed; }

protected:
    bool event(QEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    std::string folder;
    std::unique_ptr<DicomDirFileIO> reader;
    bool dirLoaded = false;
    bool splashElapsed = false;
    bool listStarted = false;
    bool ended = false;
    int handoverTimer = 0;
    QEventLoop* loop = nullptr;
};

} // namespace orblane
