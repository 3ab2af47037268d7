#pragma once

#include "dicom/DicomDataFileIO.h"
#include "imaging/ImageDataList.h"

#include <QDialog>

#include <memory>

namespace orblane {

// The full-screen viewer of one request's images. The study list hands it every file of the selected studies
// before running it; exec() answers 0 (VIEWEND), 1 (the window's close command) or 2 (Esc).
class CDlgImgViewer : public QDialog
{
    Q_OBJECT

public:
    explicit CDlgImgViewer(QWidget* parent = nullptr);
    ~CDlgImgViewer() override;

    // Takes the file; the image collection decides the order of the files.
    void AddImageFile(std::unique_ptr<DicomDataFileIO> file);

    ImageDataList& Images() noexcept { return imageList; }

private:
    ImageDataList imageList;
};

} // namespace orblane
