#include "viewer/CCinePlayer.h"

#include "imaging/CImageData.h"
#include "viewer/CPictureFrame.h"

#include <QTimer>

#include <cmath>
#include <utility>

namespace orblane {

CCinePlayer::CCinePlayer(QObject* owner, Host newHost) : host(std::move(newHost)), timer(new QTimer(owner))
{
    timer->setTimerType(Qt::PreciseTimer);
    QObject::connect(timer, &QTimer::timeout, owner, [this] { Step(); });
}

bool CCinePlayer::Start(CPictureFrame* newTile, int newIndex)
{
    const FrameRun run = host.runs(newIndex);
    if (run.count <= 1 || newTile->GetTileImage() == nullptr)
    {
        return false;
    }
    tile = newTile;
    index = newIndex;
    // A timer, not a loop: the UI keeps answering between frames.
    timer->start(static_cast<int>(std::lround(1000.0 / run.framesPerSecond)));
    return true;
}

void CCinePlayer::Stop()
{
    timer->stop();
    tile = nullptr;
}

bool CCinePlayer::Playing() const noexcept
{
    return timer->isActive();
}

int CCinePlayer::IntervalMs() const noexcept
{
    return Playing() ? timer->interval() : 0;
}

void CCinePlayer::Step()
{
    if (tile == nullptr)
    {
        Stop();
        return;
    }
    const FrameRun run = host.runs(index);
    if (run.count <= 1)
    {
        Stop();
        return;
    }
    const int next = run.first + (index - run.first + 1) % run.count;
    CImageData* shown = tile->GetTileImage();
    CImageData* image = host.fetch(index, next);
    if (image == nullptr || shown == nullptr)
    {
        Stop();
        return;
    }
    // The frames of one file share their geometry: the next frame takes the view and window the user set (in
    // modality units: frames of one file may each have their own rescale).
    image->SetZoom(shown->GetZoom());
    image->SetOrigin(shown->GetOrigin().x, shown->GetOrigin().y);
    const CImageData::ModalityWindow window = shown->WindowInModality();
    image->SetModalityWindow(window.centre, window.width);
    image->SetInverted(shown->Inverted());
    tile->SetImage(image);
    index = next;
    host.stepped();
    tile->update();
}

} // namespace orblane
