#pragma once

#include "imaging/ViewMath.h"

#include <functional>

class QTimer;
class QObject;

namespace orblane {

class CImageData;
class CPictureFrame;

// Cine: one tile plays the frames of its file in a loop, a timer step at a time, so that the window keeps answering
// between frames. The player keeps what plays where; the viewer answers which frames belong together, fetches a
// frame's image (the cache and the error reports are the viewer's), and hears after each step.
class CCinePlayer
{
public:
    struct Host
    {
        // The frames of image k's file.
        std::function<FrameRun(int)> runs;
        // Image `next`, fetched while image `shown` stays decoded; null when it cannot be had.
        std::function<CImageData*(int shown, int next)> fetch;
        // Told after each step, once the tile shows the new frame.
        std::function<void()> stepped;
    };

    // The timer is a child of owner.
    CCinePlayer(QObject* owner, Host host);

    // Plays the file of image `index` in tile from that image at its file's rate; false (and nothing plays) when the
    // file has one frame or the tile shows nothing.
    bool Start(CPictureFrame* tile, int index);
    void Stop();
    bool Playing() const noexcept;
    // Milliseconds between two frames while playing, else 0.
    int IntervalMs() const noexcept;
    // The tile playing (null when none) and the image it shows.
    const CPictureFrame* Tile() const noexcept { return tile; }
    int Index() const noexcept { return index; }

private:
    void Step();

    Host host;
    QTimer* timer = nullptr;
    CPictureFrame* tile = nullptr;
    int index = 0;
};

} // namespace orblane
