#pragma once

#include <QDialog>

namespace orblane {

// The host of a run: for now a small window in place of the splash and the study list, closed with Escape or its
// close box; closing it ends the program.
class CQelViewerDlg : public QDialog
{
    Q_OBJECT

public:
    explicit CQelViewerDlg(QWidget* parent = nullptr);
};

} // namespace orblane
