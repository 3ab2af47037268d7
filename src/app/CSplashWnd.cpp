#include "app/CSplashWnd.h"

#include "core/ApplicationState.h"
#include "platform/ErrorSink.h"
#include "platform/ModulePath.h"

#include <QApplication>
#include <QGuiApplication>
#include <QPainter>
#include <QScreen>

namespace orblane {

namespace {

CSplashWnd* currentSplash = nullptr;
QPointer<QObject> splashOwner;

} // namespace

CSplashWnd* CSplashWnd::Current()
{
    return currentSplash;
}

int CSplashWnd::ShowSplash(QObject* owner)
{
    if (AppState().splashRelease == 0 || currentSplash != nullptr)
    {
        return 0;
    }
    splashOwner = owner;

    // Beside the executable, as every file of the viewer's folder: the viewer may be started from any folder.
    QPixmap picture(QString::fromStdString(GetModuleFolder() + "Orblane.bmp"));
    if (picture.isNull())
    {
        RaiseError("10001", 0, true);
        return 0;
    }
    auto* splash = new CSplashWnd(std::move(picture));
    currentSplash = splash;

    const QScreen* screen = QGuiApplication::primaryScreen();
    if (screen != nullptr)
    {
        const QRect work = screen->availableGeometry();
        splash->move(work.x() + (work.width() - splash->width()) / 2,
                     work.y() + (work.height() - splash->height()) / 2);
    }
    splash->show();
    if (splash->windowHandle() == nullptr)
    {
        delete splash;
        return 0;
    }
    splash->displayTimer.start();
    // Shown and painted now: the DICOMDIR is read on this thread right after, with no events handled meanwhile.
    splash->repaint();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    return 1;
}

void CSplashWnd::HideSplash()
{
    if (currentSplash != nullptr)
    {
        CSplashWnd* splash = currentSplash;
        currentSplash = nullptr;
        splash->displayTimer.stop();
        splash->hide();
        splash->deleteLater();
    }
    if (QWidget* main = QApplication::activeWindow())
    {
        main->update();
    }
}

CSplashWnd::CSplashWnd(QPixmap picture)
    : QWidget(nullptr, Qt::SplashScreen | Qt::FramelessWindowHint), bitmap(std::move(picture))
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    setCursor(Qt::ArrowCursor);
    setFixedSize(bitmap.deviceIndependentSize().toSize());
    // A coarse timer may fire up to 5 % early; the splash's time is a minimum.
    displayTimer.setTimerType(Qt::PreciseTimer);
    displayTimer.setSingleShot(true);
    displayTimer.setInterval(kDisplayMilliseconds);
    connect(&displayTimer, &QTimer::timeout, this, &CSplashWnd::OnTimer);
}

CSplashWnd::~CSplashWnd()
{
    if (currentSplash == this)
    {
        currentSplash = nullptr;
    }
}

void CSplashWnd::paintEvent(QPaintEvent* /*event*/)
{
    QPainter painter(this);
    painter.drawPixmap(0, 0, bitmap);
}

void CSplashWnd::OnTimer()
{
    displayTimer.stop();
    if (AppState().splashRelease == 1)
    {
        HideSplash();
    }
    if (splashOwner)
    {
        QCoreApplication::postEvent(splashOwner, new QEvent(kSplashElapsedEvent));
    }
}

} // namespace orblane
