#include "widgets/CAboutDlg.h"

#include "core/Settings.h"
#include "platform/ErrorSink.h"
#include "platform/ModulePath.h"
#include "platform/SettingsPaths.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

#include <algorithm>
#include <cerrno>
#include <cstdio>

namespace orblane {

namespace {

constexpr const char* kBitmapName = "Orblane.bmp";
// Sizes beyond this only come from a mistyped setting.
constexpr int kMaxButtonFontTenths = 1000;

// Why the bitmap file could not be read, as the number shown with the error: the open failure's code, or 0 when
// the file opens but holds no picture.
std::uint32_t OpenFailureCode(const std::string& path)
{
    errno = 0;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr)
    {
        return static_cast<std::uint32_t>(errno);
    }
    std::fclose(file);
    return 0;
}

} // namespace

CAboutDlg::CAboutDlg(QWidget* parent, std::string settingsPath)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint), infoPath(std::move(settingsPath)),
      okButton(new QPushButton(QStringLiteral("OK"), this)), picture(new QLabel(this))
{
    setModal(true);
    okButton->setDefault(true);
    okButton->setAutoDefault(true);
    picture->setGeometry(0, 0, 10, 10);
    picture->setObjectName(QStringLiteral("picture1089"));
    connect(okButton, &QPushButton::clicked, this, &QDialog::accept);
}

CAboutDlg::~CAboutDlg() = default;

QRect CAboutDlg::WindowRect(const QRect& workArea, const QSize& bitmapSize)
{
    // The work area's right and bottom edges as exclusive coordinates; C++ division truncates towards 0.
    const int right = workArea.x() + workArea.width();
    const int bottom = workArea.y() + workArea.height();
    return {(right - bitmapSize.width()) / 2, (bottom - bitmapSize.height()) / 2, bitmapSize.width(),
            bitmapSize.height() + kBelowPicture};
}

int CAboutDlg::exec()
{
    if (!OnInitDialog())
    {
        return QDialog::Rejected;
    }
    return QDialog::exec();
}

bool CAboutDlg::OnInitDialog()
{
    if (initRun)
    {
        return loaded;
    }
    initRun = true;
    if (infoPath.empty())
    {
        infoPath = GetInfoSettingsPath();
    }
    // Beside the executable, as every file of the viewer's folder: the viewer may be started from any folder.
    const std::string bitmapPath = GetModuleFolder() + kBitmapName;
    bitmap = QPixmap(QString::fromStdString(bitmapPath));
    if (bitmap.isNull())
    {
        RaiseError("10001", OpenFailureCode(bitmapPath), true);
        return false;
    }
    if (bitmap.width() <= 0 || bitmap.height() <= 0)
    {
        bitmap = QPixmap();
        RaiseError("10001", 0, true);
        return false;
    }
    loaded = true;
    const int w = bitmap.width();
    const int h = bitmap.height();
    okButton->setGeometry((w - kButtonWidth) / 2, h + kButtonGap, kButtonWidth, kButtonHeight);

    const FontChoice configuredFont = ReadVersionDialogOkFont(infoPath);
    buttonFont = QFont(QString::fromStdU16String(configuredFont.face));
    buttonFont.setPointSizeF(std::min(configuredFont.tenthsOfPoint, kMaxButtonFontTenths) / 10.0);
    okButton->setFont(buttonFont);
    if (const std::optional<std::u16string> caption = ReadVersionDialogOkCaption(infoPath))
    {
        okButton->setText(QString::fromStdU16String(*caption));
    }
    picture->setPixmap(bitmap);
    Place();
    return true;
}

void CAboutDlg::Place()
{
    if (!loaded)
    {
        return;
    }
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QRect work = screen != nullptr ? screen->availableGeometry() : QRect();
    setGeometry(WindowRect(work, bitmap.size()));
    picture->resize(bitmap.size());
}

void CAboutDlg::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    Place();
}

void CAboutDlg::paintEvent(QPaintEvent* event)
{
    // Kept centred: anything that moved the window is undone at the next paint.
    if (loaded && geometry() != WindowRect(QGuiApplication::primaryScreen()->availableGeometry(), bitmap.size()))
    {
        Place();
    }
    QDialog::paintEvent(event);
}

} // namespace orblane
