#pragma once

#include <QAbstractButton>
#include <QPixmap>

namespace orblane {

// A toolbar push button drawn only from four pictures that keeps a checked state of its own. A click on a box
// that toggles flips it; a click on a radio-like box checks it and leaves it checked until the parent calls
// Uncheck. Either way the box shows its new state at once and then posts Command(id): the receiver runs after the
// click has been handled and reads the new state with IsChecked.
class CBitmapCheckBox : public QAbstractButton
{
    Q_OBJECT

public:
    explicit CBitmapCheckBox(QWidget* parent = nullptr);

    // Places the box on parent at rect, visible; toggles false makes a click on a checked box do nothing.
    bool Create(const QRect& rect, QWidget* parent, int id, bool toggles);

    // Loads name + "U", "D", "F", "X" (normal, checked, focused, disabled); true only if all four loaded.
    bool LoadBitmaps(const QString& name);

    virtual void Uncheck();
    virtual void Check();
    bool IsChecked() const;
    int ControlId() const { return controlId; }

    QSize sizeHint() const override;

signals:
    void Command(int id);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    enum BoxState
    {
        kNormal = 0,
        kFocused = 1,
        kChecked = 2,
        kDisabled = 3,
    };

    void OnClicked();

    int boxState = kNormal;
    int controlId = 0;
    bool toggles = false;
    QPixmap upBitmap;
    QPixmap downBitmap;
    QPixmap focusBitmap;
    QPixmap disabledBitmap;
};

} // namespace orblane
