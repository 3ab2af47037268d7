#include "app/CQelViewerDlg.h"

#include "platform/SettingsPaths.h"

#include <QLabel>
#include <QPixmap>
#include <QVBoxLayout>

namespace orblane {

CQelViewerDlg::CQelViewerDlg(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("TALVIREN DICOM MEDIA Viewer"));
    auto* layout = new QVBoxLayout(this);

    // The launch bitmap is found by its bare name, from the current directory, as the splash will load it.
    QPixmap bitmap(QStringLiteral("Orblane.bmp"));
    if (!bitmap.isNull())
    {
        auto* picture = new QLabel(this);
        picture->setPixmap(bitmap);
        layout->addWidget(picture);
    }
    auto* note = new QLabel(this);
    note->setTextFormat(Qt::PlainText);
    note->setText(QStringLiteral("The medium is ready. DICOM directory folder: %1\nPress Esc to close.")
                      .arg(QString::fromStdString(GetDicomDirFolder())));
    layout->addWidget(note);
}

} // namespace orblane
