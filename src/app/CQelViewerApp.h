#pragma once

#include <QApplication>

#include <filesystem>
#include <string_view>
#include <vector>

namespace orblane {

// The application object: the process's life from the single-instance check to the end of the host dialog.
class CQelViewerApp : public QApplication
{
    Q_OBJECT

public:
    static constexpr const char* kDisplayName = "TALVIREN DICOM MEDIA Viewer";
    static constexpr std::string_view kInstanceLockName = "QelViewerApp_Mutex";

    // Installs the reports of unhandled failures and the error dialog before any start-up step.
    CQelViewerApp(int& argc, char** argv);

    // The start-up sequence. False when another instance runs (nothing is shown); true once the host dialog ended.
    // Fatal start-up errors end the process inside RaiseError.
    bool InitInstance();
    // Releases the instance lock and frees the catalogue; answers the exit code.
    int ExitInstance();

    // C++ exceptions must not unwind through the event loop: one that reaches it is reported as "11002".
    bool notify(QObject* receiver, QEvent* event) override;

private:
    // The command line's paths, as the bytes the shell passed (Qt's own options already taken out).
    std::vector<std::filesystem::path> paths;
};

} // namespace orblane
