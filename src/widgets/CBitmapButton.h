#pragma once

#include <QAbstractButton>
#include <QPixmap>

namespace orblane {

// A push button drawn from up to four pictures: pressed, else focused, else disabled, else normal, each only when
// it was loaded. A click sends Command(id) straight away.
class CBitmapButton : public QAbstractButton
{
    Q_OBJECT

public:
    explicit CBitmapButton(QWidget* parent = nullptr);

    // Places the button on parent at rect with bitmapName as its (never drawn) caption.
    bool Create(const QString& bitmapName, const QRect& rect, QWidget* parent, int id, bool visible);

    // Loads the four pictures by resource name, in the roles normal, pressed, focused, disabled; an empty name
    // leaves that role without a picture. True only if every named picture loaded.
    bool LoadBitmaps(const QString& up, const QString& down = {}, const QString& focus = {},
                     const QString& disabled = {});

    // Loads caption + "U", "D", "F", "X".
    bool LoadBitmaps();

    int ControlId() const { return controlId; }

    QSize sizeHint() const override;

signals:
    void Command(int id);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int controlId = 0;
    QPixmap upBitmap;
    QPixmap downBitmap;
    QPixmap focusBitmap;
    QPixmap disabledBitmap;
};

} // namespace orblane
