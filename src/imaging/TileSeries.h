#pragma once

#include "imaging/ImageFacts.h"
#include "imaging/TileSync.h"
#include "imaging/ViewerSeries.h"

#include <functional>
#include <map>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace orblane {

// The viewer's second way of reading, as plain values: tiles that each hold a series of their own and scroll it,
// the tiles that follow a scrolling one (same frame of reference and parallel planes by position, linked series by
// distance), and where every image stands in its series. The images are the viewer's, by index; the viewer answers
// what their headers say through the look-up it hands over, and owns everything that is drawn.
class TileSeries
{
public:
    struct ImageInfo
    {
        const ImageFacts* facts = nullptr;      // null for an image not found yet
        const FrameAttributes* frame = nullptr; // the image's own frame; null where its file describes none
    };
    // The images found so far, and what image k's header says.
    using ImageCount = std::function<int()>;
    using ImageLookup = std::function<ImageInfo(int)>;

    TileSeries(ImageCount count, ImageLookup lookup);

    // The series of the images found so far, in the viewer's order (see GroupViewerSeries).
    const std::vector<ViewerSeries>& Series();
    // Image `index`'s series and its place there (from 0); series -1 for an image not found.
    struct Place
    {
        int series = -1;
        int slice = -1;
        int count = 0;
    };
    Place PlaceOf(int index);

    // Whether some tile holds a series of its own (the viewer no longer pages).
    bool Active() const noexcept { return active; }
    // Series `series` into tile `tile` at its first image. Every other tile keeps the image it shows (shown[j], -1
    // for none) as the place in that image's series it now scrolls alone. False for a series or tile that does
    // not exist; nothing changes then.
    bool Show(int series, int tile, std::span<const int> shown);
    // Gives a tile that holds nothing (a larger layout) the series of the image it shows.
    void Adopt(int tile, int index);
    // Back to paging: the tiles forget their series and the link.
    void Leave() noexcept;

    // The image tile `tile` shows; -1 for none (also while it is out of range).
    int ImageOf(int tile) const noexcept;
    bool OutOfRange(int tile) const noexcept;
    int SeriesOf(int tile) const noexcept;

    // Scrolls tile `tile` by `delta` images within its series (held at its ends); the tiles that follow it move to
    // their nearest slice or say they are out of range. Answers whether any tile changed.
    bool Step(int tile, int delta);

    // Links every tile holding a series at the slices they show, or unlinks them; answers whether they are linked
    // now. Tiles of one frame of reference follow each other by position, linked or not.
    bool ToggleLink();
    bool Linked() const noexcept { return linked; }

    static constexpr int kTiles = 36;

private:
    struct Tile
    {
        int series = -1;
        int slice = 0;
        bool outOfRange = false;
        double anchor = 0.0; // its position along its normal when linked
    };
    const SeriesStack& StackOf(int series);
    void Follow(int leader);

    ImageCount count;
    ImageLookup lookup;
    std::vector<ViewerSeries> series;
    ViewerSeriesGrouper grouper;
    std::vector<int> seriesOfImage;
    // The stacks of series whose images were all found when it was built; the size it was built with.
    std::vector<std::pair<int, SeriesStack>> stacks;
    Tile tiles[kTiles];
    bool active = false;
    bool linked = false;
};

} // namespace orblane
