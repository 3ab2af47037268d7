#pragma once

#include "dicom/DicomDataFileIO.h"
#include "studylist/DicomDirList.h"

#include <QDialog>

#include <memory>
#include <string>

namespace orblane {

class CBitmapButton;
class DicomDirFileIO;
class StudySource;

// The study list: the program's main window once start-up is over. One row per study of the DICOMDIR, three
// bitmap buttons above the list (view start, version information, exit). Closing it in any way ends the program.
class CDicomListDlg : public QDialog
{
    Q_OBJECT

public:
    static constexpr int kViewStartId = 1000;
    static constexpr int kVersionInfoId = 1001;
    static constexpr int kExitId = 2;
    static constexpr int kListId = 1002;

    explicit CDicomListDlg(QWidget* parent = nullptr);
    ~CDicomListDlg() override;

    // The reader stays the caller's; it must outlive the dialog's run.
    void SetDirectory(DicomDirFileIO* directory);
    // Where the rows and file chains come from (a DICOMDIR, a folder scan); the caller's, outliving the run. A
    // source still reading is polled while the list shows, and its rows appear as it finds them.
    void SetSource(StudySource* rows) { source = rows; }
    // Where the column titles and the header font are read; by default the settings file beside the executable.
    void SetInfoSettingsPath(std::string path) { infoPath = std::move(path); }

    // Runs the initialisation once, then the dialog modally.
    int exec() override;
    // Enter never closes the list.
    void accept() override {}

    // Buttons, placement, columns and rows, the start-up sort; safe to call before exec (tests do), runs once.
    bool OnInitDialog();
    int FillRows(DicomDirFileIO& directory);
    // Takes the source's new and changed rows; once it has finished, sorts as at start-up (unless a row is
    // selected, which a sort would move) and says so with SourceFinished. Answers the rows added.
    int PollSource();
    void UpdateViewButton();
    void LayoutList();
    // One unopened file per IMAGE record of the selected studies, upper rows first, each study's in DICOMDIR order.
    DicomFileChain CollectSelectedFiles();
    void OnViewStart();
    // Opens the viewer when a row is selected (double-click, Enter).
    void OpenSelection();
    void OnVersionInfo();

    DicomDirList& List() { return *list; }
    CBitmapButton& ViewStartButton() { return *viewStartButton; }
    CBitmapButton& VersionButton() { return *versionButton; }
    CBitmapButton& ExitButton() { return *exitButton; }

signals:
    // The source has found everything: the list holds its final rows.
    void SourceFinished();

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool event(QEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    void CreateButtons();
    void OnColumnClick(int column);
    void ReturnFocusToList();

    void ShowProgress();

    DicomDirList* list;
    std::unique_ptr<StudySource> directorySource;
    StudySource* source = nullptr;
    int pollTimer = 0;
    std::string infoPath;
    bool initialised = false;
    bool initRun = false;
    CBitmapButton* viewStartButton;
    CBitmapButton* versionButton;
    CBitmapButton* exitButton;
};

} // namespace orblane
