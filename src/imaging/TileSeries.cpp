#include "imaging/TileSeries.h"

#include <algorithm>

namespace orblane {

TileSeries::TileSeries(ImageCount imageCount, ImageLookup imageLookup)
    : count(std::move(imageCount)), lookup(std::move(imageLookup))
{
}

const std::vector<ViewerSeries>& TileSeries::Series()
{
    // The list grows as the viewer finds images: only the new ones are grouped (the same order GroupViewerSeries
    // gives, one image at a time).
    const int found = count();
    for (int index = static_cast<int>(seriesOfImage.size()); index < found; ++index)
    {
        const ImageInfo info = lookup(index);
        ViewerSeriesKey key;
        if (info.facts != nullptr)
        {
            key.studyInstanceUid = info.facts->studyInstanceUid;
            key.seriesInstanceUid = info.facts->seriesInstanceUid;
        }
        key.frame = info.frame;
        seriesOfImage.push_back(grouper.Add(key, index, series));
    }
    return series;
}

TileSeries::Place TileSeries::PlaceOf(int index)
{
    Series();
    if (index < 0 || static_cast<std::size_t>(index) >= seriesOfImage.size())
    {
        return {};
    }
    const int s = seriesOfImage[static_cast<std::size_t>(index)];
    const ViewerSeries& entry = series[static_cast<std::size_t>(s)];
    return {s, PlaceInSeries(entry, index), entry.imageCount};
}

const SeriesStack& TileSeries::StackOf(int s)
{
    if (stacks.size() < series.size())
    {
        stacks.resize(series.size());
    }
    auto& [builtWith, stack] = stacks[static_cast<std::size_t>(s)];
    const ViewerSeries& entry = series[static_cast<std::size_t>(s)];
    if (builtWith != entry.imageCount || stack.points.size() != entry.images.size())
    {
        std::vector<const FrameAttributes*> slices;
        slices.reserve(entry.images.size());
        for (const int index : entry.images)
        {
            slices.push_back(lookup(index).frame);
        }
        stack = MakeSeriesStack(slices);
        builtWith = entry.imageCount;
    }
    return stack;
}

bool TileSeries::Show(int s, int tile, std::span<const int> shown)
{
    Series();
    if (s < 0 || static_cast<std::size_t>(s) >= series.size() || tile < 0 || tile >= kTiles)
    {
        return false;
    }
    if (!active)
    {
        for (int j = 0; j < kTiles; ++j)
        {
            tiles[j] = {};
            if (j != tile && static_cast<std::size_t>(j) < shown.size())
            {
                Adopt(j, shown[static_cast<std::size_t>(j)]);
            }
        }
    }
    tiles[tile] = {s, 0, false, 0.0};
    active = true;
    // A new series does not carry the old link's anchors.
    linked = false;
    return true;
}

void TileSeries::Adopt(int tile, int index)
{
    if (tile < 0 || tile >= kTiles)
    {
        return;
    }
    const Place place = PlaceOf(index);
    tiles[tile] = place.series >= 0 ? Tile{place.series, place.slice, false, 0.0} : Tile{};
}

void TileSeries::Leave() noexcept
{
    active = false;
    linked = false;
    for (Tile& t : tiles)
    {
        t = {};
    }
}

int TileSeries::SeriesOf(int tile) const noexcept
{
    return active && tile >= 0 && tile < kTiles ? tiles[tile].series : -1;
}

int TileSeries::ImageOf(int tile) const noexcept
{
    const int s = SeriesOf(tile);
    if (s < 0 || tiles[tile].outOfRange)
    {
        return -1;
    }
    const std::vector<int>& images = series[static_cast<std::size_t>(s)].images;
    return tiles[tile].slice >= 0 && static_cast<std::size_t>(tiles[tile].slice) < images.size()
               ? images[static_cast<std::size_t>(tiles[tile].slice)]
               : -1;
}

bool TileSeries::OutOfRange(int tile) const noexcept
{
    return SeriesOf(tile) >= 0 && tiles[tile].outOfRange;
}

bool TileSeries::Step(int tile, int delta)
{
    const int s = SeriesOf(tile);
    if (s < 0)
    {
        return false;
    }
    Series();
    Tile& t = tiles[tile];
    const int last = series[static_cast<std::size_t>(s)].imageCount - 1;
    const int target = std::clamp(t.slice + delta, 0, std::max(0, last));
    if (target == t.slice && !t.outOfRange)
    {
        return false;
    }
    t.slice = target;
    t.outOfRange = false;
    Follow(tile);
    return true;
}

void TileSeries::Follow(int leader)
{
    const Tile& lead = tiles[leader];
    const SeriesStack leaderStack = StackOf(lead.series);
    for (int j = 0; j < kTiles; ++j)
    {
        Tile& t = tiles[j];
        if (j == leader || t.series < 0)
        {
            continue;
        }
        const SeriesStack& follower = StackOf(t.series);
        SyncTarget target;
        switch (RelationOf(leaderStack, follower, linked))
        {
        case SyncRelation::None:
            continue;
        case SyncRelation::ByPosition:
            target = FollowPosition(leaderStack, lead.slice, follower);
            break;
        case SyncRelation::ByDistance:
            target = FollowLinked(leaderStack, lead.slice, lead.anchor, follower, t.anchor);
            break;
        }
        if (target.outcome == SyncOutcome::NoSlice)
        {
            continue;
        }
        t.slice = target.slice;
        t.outOfRange = target.outcome == SyncOutcome::OutOfRange;
    }
}

bool TileSeries::ToggleLink()
{
    if (!active || linked)
    {
        linked = false;
        return false;
    }
    Series();
    int holding = 0;
    for (Tile& t : tiles)
    {
        if (t.series < 0)
        {
            continue;
        }
        // An out-of-range tile is linked where its nearest slice lies, the place it will move on from.
        const auto position = StackOf(t.series).Position(t.slice);
        t.anchor = position.value_or(0.0);
        t.outOfRange = false;
        holding += position ? 1 : 0;
    }
    linked = holding >= 2;
    return linked;
}

} // namespace orblane
