#include "app/CErrorDlg.h"

#include "core/ErrorReport.h"
#include "core/Settings.h"
#include "platform/SettingsPaths.h"
#include "widgets/DialogUnits.h"

#include <QApplication>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QStyle>
#include <QTimer>
#include <qdrawutil.h>

namespace orblane {
namespace {

// Sizes beyond this only make the button unreadable; the setting is trusted up to here.
constexpr int kMaxButtonFontTenths = 1000;

QLabel* MakeStatic(QWidget* parent, const QRect& geometry)
{
    auto* label = new QLabel(parent);
    // Catalogue texts are shown as written, never interpreted as markup.
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setWordWrap(true);
    label->setGeometry(geometry);
    return label;
}

bool AutoCloseDialogs()
{
    return qEnvironmentVariable("ORBLANE_AUTOCLOSE_DIALOGS") == QLatin1String("1");
}

} // namespace

CErrorDlg::CErrorDlg(QWidget* parent, std::string infoSettingsPath)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint), infoPath(std::move(infoSettingsPath))
{
    setModal(true);
    setFont(QFont(QStringLiteral("Lucida Sans Unicode"), 12));
    const DialogUnits units(font());
    setFixedSize(units.ToPixelsX(kWidthUnits), units.ToPixelsY(kHeightUnits));

    okButton = new QPushButton(this);
    okButton->setGeometry(units.ToPixels(160, 86, 50, 14));
    okButton->setDefault(true);
    okButton->setAutoDefault(true);
    connect(okButton, &QPushButton::clicked, this, &QDialog::accept);

    codeLabel = MakeStatic(this, units.ToPixels(19, 14, 63, 15));
    messageLabel = MakeStatic(this, units.ToPixels(69, 14, 283, 26));
    actionLabel = MakeStatic(this, units.ToPixels(69, 45, 283, 26));
    okButton->setFocus();
}

void CErrorDlg::OnInitDialog()
{
    okButton->setText(okCaption);
    codeLabel->setText(code);
    messageLabel->setText(message);
    actionLabel->setText(action);

    const FontChoice configuredFont = ReadErrorDialogOkFont(infoPath);
    buttonFont = QFont(QString::fromStdU16String(configuredFont.face));
    // A size of 0 or below leaves the platform's default size, as the font creation would.
    if (configuredFont.tenthsOfPoint > 0)
    {
        buttonFont.setPointSizeF(std::min(configuredFont.tenthsOfPoint, kMaxButtonFontTenths) / 10.0);
    }
    okButton->setFont(buttonFont);
    okButton->update();
}

void CErrorDlg::showEvent(QShowEvent* event)
{
    if (!initialised)
    {
        initialised = true;
        OnInitDialog();
    }
    QDialog::showEvent(event);
}

void CErrorDlg::paintEvent(QPaintEvent* event)
{
    QDialog::paintEvent(event);
    // No caption, but the raised frame of a modal dialog.
    QPainter painter(this);
    qDrawWinPanel(&painter, rect(), palette(), false);
}

void PresentErrorDialog(const ErrorDialogTexts& texts)
{
    if (QApplication::instance() == nullptr)
    {
        return;
    }
    CErrorDlg dialog;
    dialog.okCaption = QString::fromStdU16String(texts.okCaption);
    dialog.code = QString::fromStdU16String(texts.code);
    dialog.message = QString::fromStdU16String(texts.message);
    dialog.action = QString::fromStdU16String(texts.action);
    if (AutoCloseDialogs())
    {
        QTimer::singleShot(0, &dialog, &QDialog::reject);
    }
    dialog.exec();
}

} // namespace orblane
