#include "dicom/DicomDirFileIO.h"
#include "gui/StudyMedium.h"
#include "platform/ErrorSink.h"
#include "studylist/CDicomListDlg.h"
#include "support/ScratchFolder.h"
#include "viewer/CDlgImgViewer.h"
#include "widgets/CBitmapButton.h"

#include <QApplication>
#include <QHeaderView>
#include <QPointer>
#include <QRandomGenerator>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <fstream>
#include <functional>

namespace orblane {
namespace {

using test::ScratchFolder;

// The exchange sort exactly as the rows would go through it, texts swapped one pair at a time.
std::vector<std::size_t> ReferenceExchangeSort(std::vector<std::u16string> keys, bool descending)
{
    std::vector<std::size_t> rows(keys.size());
    for (std::size_t i = 0; i < rows.size(); ++i)
    {
        rows[i] = i;
    }
    for (std::size_t i = 0; i + 1 < keys.size(); ++i)
    {
        for (std::size_t j = i + 1; j < keys.size(); ++j)
        {
            if (descending ? keys[i] <= keys[j] : keys[i] >= keys[j])
            {
                std::swap(keys[i], keys[j]);
                std::swap(rows[i], rows[j]);
            }
        }
    }
    return rows;
}

TEST(ExchangeSortOrderTest, MatchesThePairwiseExchangeIncludingTheOrderOfEqualKeys)
{
    QRandomGenerator random(7);
    for (const bool descending : {true, false})
    {
        for (const std::size_t n : {0u, 1u, 2u, 3u, 17u, 400u})
        {
            std::vector<std::u16string> keys;
            for (std::size_t i = 0; i < n; ++i)
            {
                // Few distinct values so that ties are common; code units above 0x7FFF must sort after ASCII.
                const char16_t pick = static_cast<char16_t>(random.bounded(5));
                keys.push_back(pick == 4 ? std::u16string(u"\u00e9")
                                         : std::u16string(1, static_cast<char16_t>(u'a' + pick)));
            }
            std::vector<std::u16string_view> views(keys.begin(), keys.end());
            EXPECT_EQ(ExchangeSortOrder(views, descending), ReferenceExchangeSort(keys, descending))
                << "n=" << n << " descending=" << descending;
        }
    }
}

TEST(ExchangeSortOrderTest, ComparesCodeUnitsWithoutCaseFolding)
{
    const std::vector<std::u16string_view> keys{u"b", u"B", u"a", u"\U0001F600", u"\uFF21"};
    // Ascending by 16-bit units: "B" < "a" < "b" < U+D83D... < U+FF21.
    EXPECT_EQ(ExchangeSortOrder(keys, false), (std::vector<std::size_t>{1, 2, 0, 3, 4}));
}

class StudyListTest : public ::testing::Test
{
protected:
    StudyListTest()
    {
        test::WriteSmallMedium(medium.Path());
        EXPECT_EQ(reader.OpenDicomDir(medium.FolderText()), 0);
        infoPath = (medium.Path() / "OrblInf.ini").native();
        std::ofstream(infoPath) << "[InspectionList]\r\n";
        dialog.SetDirectory(&reader);
        dialog.SetInfoSettingsPath(infoPath);
    }

    DicomDirList& List() { return dialog.List(); }
    QStringList Column(int column)
    {
        QStringList texts;
        for (int row = 0; row < List().RowCount(); ++row)
        {
            texts << List().RowText(row, column);
        }
        return texts;
    }
    void ClickRow(int row, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        const QRect rect = List().visualRect(List().model()->index(row, 0));
        QTest::mouseClick(List().viewport(), Qt::LeftButton, modifiers, rect.center());
    }
    void ClickHeader(int column)
    {
        QHeaderView* header = List().header();
        const int x = header->sectionViewportPosition(column) + header->sectionSize(column) / 2;
        QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(x, header->height() / 2));
    }
    std::vector<int> Selected() { return List().SelectedRows(); }

    ScratchFolder medium;
    DicomDirFileIO reader;
    std::string infoPath;
    CDicomListDlg dialog;
};

TEST_F(StudyListTest, StartsWithTheNewestStudyFirstAndUndatedStudiesLast)
{
    dialog.OnInitDialog();
    ASSERT_EQ(List().RowCount(), 4);
    // Rows went in as DX, CR, MR, CT (each new one at the top); the exchange sort then leaves the two equal
    // date-times as CT before DX.
    EXPECT_EQ(Column(4), (QStringList{"2024.01.05 10:15:00", "2024.01.05 10:15:00", "2023.03.10 09:00:00", " "}));
    EXPECT_EQ(Column(5), (QStringList{"CT", "DX", "MR", "CR"}));
    EXPECT_EQ(Column(0), (QStringList{"Doe^Jane", "Roe^Rich", "Doe^Jane", "Roe^Rich"}));
    EXPECT_EQ(Column(1), (QStringList{"1001", "1002", "1001", "1002"}));
    EXPECT_EQ(Column(2), (QStringList{"1970.01.01", "1980.12.31", "1970.01.01", "1980.12.31"}));
    EXPECT_EQ(Column(3).replaceInStrings(QStringLiteral(" "), QString()), (QStringList{"F", "M", "F", "M"}));
    EXPECT_FALSE(dialog.ViewStartButton().isEnabled());
    EXPECT_TRUE(dialog.windowState().testFlag(Qt::WindowMaximized));
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("TALVIREN DICOM MEDIA Viewer"));
}

TEST_F(StudyListTest, ButtonsColumnsAndTitlesAreLaidOutAsConfigured)
{
    std::ofstream(infoPath) << "[InspectionList]\r\nname=Name\r\nfonttype=DejaVu Sans\r\nfontsize=14.7\r\n";
    dialog.OnInitDialog();
    EXPECT_EQ(dialog.ViewStartButton().geometry(), QRect(4, 4, 64, 64));
    EXPECT_EQ(dialog.VersionButton().geometry(), QRect(72, 4, 64, 64));
    EXPECT_EQ(dialog.ExitButton().geometry(), QRect(140, 4, 64, 64));
    EXPECT_EQ(dialog.ViewStartButton().text(), QStringLiteral("VWSTART"));

    const QTreeWidgetItem* header = List().headerItem();
    EXPECT_EQ(header->text(0), QStringLiteral("Name"));
    EXPECT_EQ(header->text(1), QStringLiteral("Patient's ID"));
    EXPECT_EQ(header->text(4), QStringLiteral("Study DateTime"));
    EXPECT_EQ(List().header()->font().pointSize(), 14);
    EXPECT_EQ(List().header()->font().family(), QStringLiteral("DejaVu Sans"));
    EXPECT_EQ(List().palette().color(QPalette::Base), QColor(240, 240, 240));

    const std::vector<int> fixed{280, 100, 120, 100, 150};
    for (int column = 0; column < 5; ++column)
    {
        EXPECT_EQ(List().columnWidth(column), fixed[static_cast<std::size_t>(column)]);
    }
    List().SetupColumns(1912, infoPath);
    EXPECT_EQ(List().columnWidth(5), 1162);
    List().SetupColumns(750, infoPath);
    EXPECT_EQ(List().columnWidth(5), 270);
}

TEST_F(StudyListTest, AHeaderClickFirstTogglesThenSortsAndTheSelectionStaysWithThePositions)
{
    dialog.OnInitDialog();
    dialog.show();
    ClickRow(0);
    ClickRow(3, Qt::ControlModifier);
    ASSERT_EQ(Selected(), (std::vector<int>{0, 3}));
    ASSERT_TRUE(dialog.ViewStartButton().isEnabled());

    // The first click on the start-up column sorts it ascending.
    ClickHeader(4);
    EXPECT_EQ(Column(4), (QStringList{" ", "2023.03.10 09:00:00", "2024.01.05 10:15:00", "2024.01.05 10:15:00"}));
    EXPECT_EQ(Column(5), (QStringList{"CR", "MR", "DX", "CT"}));
    EXPECT_EQ(Selected(), (std::vector<int>{0, 3}));
    EXPECT_TRUE(dialog.ViewStartButton().isEnabled());
    // The series positions travel with their rows.
    for (int row = 0; row < List().RowCount(); ++row)
    {
        DicomFileChain chain;
        reader.CollectImageFiles(chain, List().RowSeries(row), u"");
        ASSERT_FALSE(chain.empty());
        EXPECT_EQ(QString::fromStdString(chain.front()->FileId()).left(2), List().RowText(row, 5));
    }

    ClickHeader(4);
    EXPECT_EQ(Column(5), (QStringList{"CT", "DX", "MR", "CR"}));
    ClickHeader(5);
    EXPECT_EQ(Column(5), (QStringList{"CR", "CT", "DX", "MR"}));
    EXPECT_FALSE(List().SortsDescending(5));
}

TEST_F(StudyListTest, ArrowKeysChangeNothingAndOtherKeysUpdateTheButtonBeforeTheyAct)
{
    dialog.OnInitDialog();
    dialog.show();
    ClickRow(1);
    const QModelIndex current = List().currentIndex();
    for (const Qt::Key key : {Qt::Key_Down, Qt::Key_Up, Qt::Key_Left, Qt::Key_Right})
    {
        QTest::keyClick(&List(), key);
        QTest::keyClick(&List(), key, Qt::ShiftModifier);
    }
    EXPECT_EQ(Selected(), (std::vector<int>{1}));
    EXPECT_EQ(List().currentIndex(), current);

    // Ctrl+Space clears the only selection; the button shows the state before that key until the next click.
    QTest::keyClick(&List(), Qt::Key_Space, Qt::ControlModifier);
    EXPECT_TRUE(Selected().empty());
    EXPECT_TRUE(dialog.ViewStartButton().isEnabled());
    QTest::mouseClick(List().viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(5, List().viewport()->height() - 3));
    EXPECT_FALSE(dialog.ViewStartButton().isEnabled());
}

TEST_F(StudyListTest, ViewStartOpensOneViewerWithTheSelectedStudiesUpperRowFirst)
{
    dialog.OnInitDialog();
    dialog.show();
    ClickRow(1);                      // DX, three images
    ClickRow(0, Qt::ControlModifier); // CT, two images

    const DicomFileChain chain = dialog.CollectSelectedFiles();
    std::vector<std::string> ids;
    for (const auto& file : chain)
    {
        ids.push_back(QString::fromStdString(file->FileId()).trimmed().toStdString());
    }
    EXPECT_EQ(ids, (std::vector<std::string>{"CT\\A1", "CT\\A2", "DX\\D1", "DX\\D2", "DX\\D3"}));
    EXPECT_EQ(chain.front()->StudyLabel(), u"2024.01.05 10:15:00");

    int viewers = 0;
    int files = -1;
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (auto* viewer = qobject_cast<CDlgImgViewer*>(QApplication::activeModalWidget()))
        {
            ++viewers;
            files = viewer->Images().FileCount();
            viewer->reject();
        }
    });
    poll.start();
    QTest::mouseClick(&dialog.ViewStartButton(), Qt::LeftButton);
    poll.stop();
    EXPECT_EQ(viewers, 1);
    EXPECT_EQ(files, 5);
    // Back in the list, which is still open with its rows.
    EXPECT_EQ(List().RowCount(), 4);
    EXPECT_TRUE(dialog.isVisible());
}

TEST_F(StudyListTest, DoubleClickOnARowAndEnterOnASelectionOpenTheViewerAsTheViewButtonDoes)
{
    dialog.OnInitDialog();
    dialog.show();
    struct Row
    {
        const char* name;
        std::function<void()> act;
        int expectedFiles; // -1: no viewer
    };
    const Row rows[] = {
        {"DoubleClickOnTheDxRow",
         [&] {
             const QRect rect = List().visualRect(List().model()->index(1, 0));
             QTest::mouseDClick(List().viewport(), Qt::LeftButton, Qt::NoModifier, rect.center());
         },
         3},
        {"EnterOnTheDxRow", [&] { QTest::keyClick(&List(), Qt::Key_Return); }, 3},
        {"KeypadEnterOnTwoRows",
         [&] {
             ClickRow(0, Qt::ControlModifier);
             QTest::keyClick(&List(), Qt::Key_Enter);
         },
         5},
        // The top row is current but not selected (as when the list takes the focus): Home selects it.
        {"HomeOnTheCurrentTopRowThenEnter",
         [&] {
             List().clearSelection();
             List().selectionModel()->setCurrentIndex(List().model()->index(0, 0), QItemSelectionModel::NoUpdate);
             QTest::keyClick(&List(), Qt::Key_Home);
             QTest::keyClick(&List(), Qt::Key_Return);
         },
         2},
        {"EnterWithNothingSelected",
         [&] {
             List().clearSelection();
             QTest::keyClick(&List(), Qt::Key_Return);
         },
         -1},
    };
    for (const Row& row : rows)
    {
        int files = -1;
        QTimer poll;
        poll.setInterval(10);
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (auto* viewer = qobject_cast<CDlgImgViewer*>(QApplication::activeModalWidget()))
            {
                files = viewer->Images().FileCount();
                viewer->reject();
            }
        });
        poll.start();
        row.act();
        poll.stop();
        EXPECT_EQ(files, row.expectedFiles) << row.name;
        EXPECT_TRUE(dialog.isVisible()) << row.name;
    }
}

TEST_F(StudyListTest, EnterKeepsTheListOpenWhileEscapeAndTheExitButtonCloseIt)
{
    int closedWith = -1;
    QTimer::singleShot(0, [&] {
        QTest::keyClick(&dialog, Qt::Key_Return);
        QTest::keyClick(&List(), Qt::Key_Enter);
        EXPECT_TRUE(dialog.isVisible());
        QTest::keyClick(&List(), Qt::Key_Escape);
    });
    closedWith = dialog.exec();
    EXPECT_EQ(closedWith, QDialog::Rejected);

    CDicomListDlg second;
    second.SetInfoSettingsPath(infoPath);
    QTimer::singleShot(0, [&] { QTest::mouseClick(&second.ExitButton(), Qt::LeftButton); });
    EXPECT_EQ(second.exec(), QDialog::Rejected);
    EXPECT_EQ(second.List().RowCount(), 0);
    EXPECT_FALSE(second.ViewStartButton().isEnabled());
}

TEST_F(StudyListTest, ResizingKeepsTheListFourPixelsFromTheEdgesAndBelowTheButtons)
{
    dialog.OnInitDialog();
    dialog.show();
    QApplication::processEvents();
    // Maximised: the whole work area.
    EXPECT_EQ(dialog.frameGeometry(), QGuiApplication::primaryScreen()->availableGeometry());
    dialog.showNormal();
    QApplication::processEvents();
    dialog.resize(800, 600);
    QApplication::processEvents();
    ASSERT_EQ(dialog.size(), QSize(800, 600));
    EXPECT_EQ(List().geometry(), QRect(4, 72, 792, 524));
    EXPECT_EQ(dialog.ViewStartButton().pos(), QPoint(4, 4));
}

TEST(StudyListScaleTest, TenThousandRowsSortLikeTheExchangeSortWithoutRewritingTexts)
{
    DicomDirList list;
    std::vector<StudyEntry> entries;
    QRandomGenerator random(11);
    for (int i = 0; i < 10000; ++i)
    {
        StudyEntry entry;
        entry.patientName = QString::number(i).toStdU16String();
        entry.studyDateTime = QString::number(random.bounded(50)).toStdU16String();
        entry.firstSeries = static_cast<std::uint32_t>(i);
        entries.push_back(entry);
    }
    list.AddRows(entries);
    ASSERT_EQ(list.RowCount(), 10000);
    EXPECT_EQ(list.RowSeries(0), 9999u);
    list.SortByColumn(4);
    for (int row = 1; row < list.RowCount(); ++row)
    {
        ASSERT_GE(list.RowText(row - 1, 4), list.RowText(row, 4));
        // Names and series positions stay with their rows.
        ASSERT_EQ(list.RowText(row, 0).toUInt(), list.RowSeries(row));
    }
}

} // namespace
} // namespace orblane
