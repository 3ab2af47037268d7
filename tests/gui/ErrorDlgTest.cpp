#include "app/CErrorDlg.h"

#include "unit/TempFolder.h"

#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

namespace orblane {
namespace {

using test::TempFolder;

class ErrorDlgTest : public ::testing::Test
{
protected:
    std::unique_ptr<CErrorDlg> Make()
    {
        auto dialog = std::make_unique<CErrorDlg>(nullptr, folder.Path("OrblInf.ini"));
        dialog->okCaption = QStringLiteral("Close");
        dialog->code = QStringLiteral("11002");
        dialog->message = QStringLiteral("The viewer stopped, <b>unexpectedly</b>");
        dialog->action = QStringLiteral("Start it again (3221225477)");
        return dialog;
    }
    TempFolder folder;
};

TEST_F(ErrorDlgTest, TextsReachTheirControlsWhenTheDialogInitialises)
{
    const auto dialog = Make();
    dialog->show();
    EXPECT_EQ(dialog->OkButton()->text(), QStringLiteral("Close"));
    EXPECT_EQ(dialog->CodeLabel()->text(), QStringLiteral("11002"));
    EXPECT_EQ(dialog->ActionLabel()->text(), QStringLiteral("Start it again (3221225477)"));
    // Catalogue texts are shown as written, never as markup.
    EXPECT_EQ(dialog->MessageLabel()->text(), QStringLiteral("The viewer stopped, <b>unexpectedly</b>"));
    EXPECT_EQ(dialog->MessageLabel()->textFormat(), Qt::PlainText);
    EXPECT_TRUE(dialog->windowFlags().testFlag(Qt::FramelessWindowHint));
}

TEST_F(ErrorDlgTest, OkButtonFontComesFromTheInfoSettingsAndTheStaticsKeepTheDialogFont)
{
    folder.Write("OrblInf.ini", "[OK]\nfontsize=9.5\nfonttype=DejaVu Sans\n");
    const auto dialog = Make();
    dialog->show();
    EXPECT_EQ(dialog->OkButton()->font().family(), QStringLiteral("DejaVu Sans"));
    EXPECT_DOUBLE_EQ(dialog->OkButton()->font().pointSizeF(), 9.5);
    EXPECT_EQ(dialog->MessageLabel()->font().family(), QStringLiteral("Lucida Sans Unicode"));
    EXPECT_EQ(dialog->MessageLabel()->font().pointSize(), 12);
}

TEST_F(ErrorDlgTest, WithoutInfoSettingsTheButtonSaysOkInNinePointLucida)
{
    const auto dialog = std::make_unique<CErrorDlg>(nullptr, folder.Path("OrblInf.ini"));
    dialog->okCaption = QStringLiteral("OK");
    dialog->show();
    EXPECT_EQ(dialog->OkButton()->text(), QStringLiteral("OK"));
    EXPECT_EQ(dialog->OkButton()->font().family(), QStringLiteral("Lucida Sans Unicode"));
    EXPECT_DOUBLE_EQ(dialog->OkButton()->font().pointSizeF(), 9.0);
}

TEST_F(ErrorDlgTest, OkButtonAndEscapeBothCloseTheDialog)
{
    auto dialog = Make();
    dialog->show();
    QTest::mouseClick(dialog->OkButton(), Qt::LeftButton);
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(dialog->result(), QDialog::Accepted);

    dialog = Make();
    dialog->show();
    QTest::keyClick(dialog.get(), Qt::Key_Escape);
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(dialog->result(), QDialog::Rejected);

    dialog = Make();
    dialog->show();
    QTest::keyClick(dialog.get(), Qt::Key_Return);
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
}

TEST_F(ErrorDlgTest, LayoutFollowsTheTemplateInDialogUnitsOfItsFont)
{
    const auto dialog = Make();
    dialog->show();
    // Base units as the platform derives them: the mean width of the 52 Latin letters, rounded, and the height.
    const QFontMetrics metrics(dialog->font());
    const double x =
        (metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) / 26 + 1) /
        2 / 4.0;
    const double y = metrics.height() / 8.0;
    const auto pixels = [&](int left, int top, int width, int height) {
        return QRect(qRound(left * x), qRound(top * y), qRound(width * x), qRound(height * y));
    };
    EXPECT_EQ(dialog->size(), pixels(0, 0, 371, 107).size());
    EXPECT_EQ(dialog->OkButton()->geometry(), pixels(160, 86, 50, 14));
    EXPECT_EQ(dialog->CodeLabel()->geometry(), pixels(19, 14, 63, 15));
    EXPECT_EQ(dialog->MessageLabel()->geometry(), pixels(69, 14, 283, 26));
    EXPECT_EQ(dialog->ActionLabel()->geometry(), pixels(69, 45, 283, 26));
}

TEST_F(ErrorDlgTest, PresentingWithAutoCloseReturnsWithoutAClick)
{
    qputenv("ORBLANE_AUTOCLOSE_DIALOGS", "1");
    PresentErrorDialog(ErrorDialogTexts{u"OK", u"11000", u"Image left out", u""});
    qunsetenv("ORBLANE_AUTOCLOSE_DIALOGS");
    SUCCEED();
}

} // namespace
} // namespace orblane
