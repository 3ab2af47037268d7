// Placeholder until the viewer's tiles and toolbar land: a maximised black window that Esc closes.
#include "viewer/CDlgImgViewer.h"

#include "dicom/DicomDataFileIO.h"

namespace orblane {

CDlgImgViewer::CDlgImgViewer(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("TALVIREN DICOM MEDIA Viewer"));
    setStyleSheet(QStringLiteral("background: black;"));
}

CDlgImgViewer::~CDlgImgViewer() = default;

void CDlgImgViewer::AddImageFile(std::unique_ptr<DicomDataFileIO> file)
{
    imageList.AddFile(std::move(file));
}

} // namespace orblane
