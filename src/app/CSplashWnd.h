#pragma once

#include <QEvent>
#include <QPixmap>
#include <QPointer>
#include <QTimer>
#include <QWidget>

namespace orblane {

// The event the splash posts to its owner when its display time is over (delivered through the owner's queue,
// never synchronously).
inline const QEvent::Type kSplashElapsedEvent = static_cast<QEvent::Type>(QEvent::User + 1000);

// The launch bitmap in a borderless window of exactly its size, centred on the work area, shown for 2000 ms.
// At most one exists at a time.
class CSplashWnd : public QWidget
{
    Q_OBJECT

public:
    static constexpr int kDisplayMilliseconds = 2000;

    // 1 when the splash is shown, 0 when splashRelease is 0, a splash exists already, or no window can be made.
    // A launch bitmap that cannot be loaded raises "10001" (fatal).
    static int ShowSplash(QObject* owner);
    // Removes the splash (if any) and repaints the application's main window.
    static void HideSplash();
    static CSplashWnd* Current();

    ~CSplashWnd() override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    CSplashWnd(QPixmap picture);
    void OnTimer();

    QPixmap bitmap;
    QTimer displayTimer;
};

} // namespace orblane
