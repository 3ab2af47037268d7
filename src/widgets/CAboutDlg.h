#pragma once

#include <QDialog>
#include <QFont>
#include <QPixmap>

class QPushButton;
class QLabel;

namespace orblane {

// The version dialog: the launch bitmap with one large OK button below it, centred on the work area. The bitmap
// is loaded anew each time the dialog is made; one that cannot be loaded ends the program with "10001".
class CAboutDlg : public QDialog
{
    Q_OBJECT

public:
    static constexpr int kButtonWidth = 200;
    static constexpr int kButtonHeight = 50;
    static constexpr int kButtonGap = 5;
    static constexpr int kBelowPicture = 60;

    // infoPath: the settings file with the "OK" section; by default the one beside the executable.
    explicit CAboutDlg(QWidget* parent = nullptr, std::string infoPath = {});
    ~CAboutDlg() override;

    int exec() override;
    // Loads the bitmap, places the button and sets its font and caption. False after a load failure was raised.
    bool OnInitDialog();

    // Where the window goes: w x (h + 60), centred on the work area by truncating division.
    static QRect WindowRect(const QRect& workArea, const QSize& bitmapSize);

    QPushButton& OkButton() { return *okButton; }
    QSize BitmapSize() const { return bitmap.size(); }

protected:
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void Place();

    std::string infoPath;
    QPixmap bitmap;
    QFont buttonFont;
    QPushButton* okButton;
    QLabel* picture;
    bool initRun = false;
    bool loaded = false;
};

} // namespace orblane
