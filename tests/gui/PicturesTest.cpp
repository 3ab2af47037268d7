// Every picture the program names is compiled in, at its size, and its states can be told apart.
#include "widgets/Pictures.h"

#include <QImage>
#include <gtest/gtest.h>

using namespace orblane;

namespace {

const char* const kFaceNames[] = {"ZOOMIN",  "ZOOMOUT",   "MODEPAN",   "MODECONT", "SELECT",     "IMGINFO",
                                  "IMGFIT",  "RESET",     "BEFOREIMG", "NEXTIMG",  "BEFOREPAGE", "NEXTPAGE",
                                  "SAVEIMG", "CHGIMGPTN", "VIEWEND",   "VWSTART",  "VERINFO",    "EXIT"};

TEST(PicturesTest, EveryButtonHasFourDistinctOpaqueFacesOf64Pixels)
{
    QList<QImage> normalFaces;
    for (const char* name : kFaceNames)
    {
        QList<QImage> states;
        for (const char* state : {"U", "D", "F", "X"})
        {
            const QPixmap face = LoadBitmapResource(QString::fromLatin1(name) + QLatin1String(state));
            ASSERT_FALSE(face.isNull()) << name << state;
            EXPECT_EQ(face.size(), QSize(64, 64)) << name << state;
            EXPECT_FALSE(face.hasAlphaChannel()) << name << state;
            const QImage image = face.toImage().convertToFormat(QImage::Format_RGB32);
            EXPECT_FALSE(states.contains(image)) << name << state << " looks like another state";
            states.append(image);
        }
        EXPECT_FALSE(normalFaces.contains(states.front())) << name << " looks like another button";
        normalFaces.append(states.front());
    }
}

TEST(PicturesTest, ChooserCellsAre48PixelsAndDiffer)
{
    const QImage outside = LoadBitmapResource("109").toImage();
    const QImage inside = LoadBitmapResource("110").toImage();
    EXPECT_EQ(outside.size(), QSize(48, 48));
    EXPECT_EQ(inside.size(), QSize(48, 48));
    EXPECT_NE(outside, inside);
}

TEST(PicturesTest, CursorsCarryHotspotsInsideThemselves)
{
    for (const int id : {124, 125, 126, 127, 128})
    {
        const QCursor cursor = LoadCursorResource(id);
        ASSERT_EQ(cursor.shape(), Qt::BitmapCursor) << id;
        const QSize size = cursor.pixmap().size();
        EXPECT_EQ(size, QSize(32, 32)) << id;
        EXPECT_TRUE(QRect(QPoint(0, 0), size).contains(cursor.hotSpot())) << id;
        EXPECT_NE(cursor.hotSpot(), QPoint(-1, -1)) << id;
    }
    EXPECT_EQ(LoadCursorResource(123).shape(), Qt::ArrowCursor);
}

TEST(PicturesTest, ApplicationIconHasSmallAndLargeSizes)
{
    const QIcon icon = LoadApplicationIcon();
    const QList<QSize> sizes = icon.availableSizes();
    EXPECT_TRUE(sizes.contains(QSize(16, 16)));
    EXPECT_TRUE(sizes.contains(QSize(32, 32)));
    EXPECT_TRUE(sizes.contains(QSize(256, 256)));
}

TEST(PicturesTest, UnknownNamesGiveNullPictures)
{
    EXPECT_TRUE(LoadBitmapResource("ZOOMINQ").isNull());
    EXPECT_TRUE(LoadBitmapResource("").isNull());
}

} // namespace
