#include "Commands.h"
#include "FrameFiles.h"

#include "dicom/DicomDataFileIO.h"
#include "imaging/TileSync.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <string>
#include <vector>

namespace orblane::cli {
namespace {

bool ParseSlice(std::string_view text, int& out)
{
    const auto result = std::from_chars(text.data(), text.data() + text.size(), out);
    return !text.empty() && result.ec == std::errc{} && result.ptr == text.data() + text.size() && out >= 1;
}

// Every frame of every file, in the order given: the slices of one series as the viewer scrolls it.
int ReadSlices(const std::vector<std::string_view>& paths, std::vector<FrameAttributes>& slices)
{
    for (const std::string_view path : paths)
    {
        DicomDataFileIO file;
        if (!LoadFrameFile(file, std::string(path)))
        {
            return 1;
        }
        for (FrameAttributes& frame : ReadEveryFrame(file))
        {
            slices.push_back(std::move(frame));
        }
    }
    return 0;
}

SeriesStack StackOf(const std::vector<FrameAttributes>& slices)
{
    std::vector<const FrameAttributes*> pointers;
    for (const FrameAttributes& slice : slices)
    {
        pointers.push_back(&slice);
    }
    return MakeSeriesStack(pointers);
}

} // namespace

// sync LEADER... --to FOLLOWER... --at K [--link A B]: the slice a tile scrolling the follower's series shows when the
// leader's tile shows slice K (slices from 1, every frame of the files in the order given); with --link, the two
// were linked while showing slices A and B.
int RunSync(Arguments args)
{
    std::vector<std::string_view> leaderFiles;
    std::vector<std::string_view> followerFiles;
    int at = 0;
    int linkLeader = 0;
    int linkFollower = 0;
    bool linked = false;
    bool toFollower = false;
    for (std::size_t i = 0; i < args.size(); ++i)
    {
        if (args[i] == "--to")
        {
            toFollower = true;
        }
        else if (args[i] == "--at")
        {
            if (i + 1 >= args.size() || !ParseSlice(args[++i], at))
            {
                return UsageError("sync: --at takes a slice number from 1");
            }
        }
        else if (args[i] == "--link")
        {
            if (i + 2 >= args.size() || !ParseSlice(args[i + 1], linkLeader) || !ParseSlice(args[i + 2], linkFollower))
            {
                return UsageError("sync: --link takes two slice numbers from 1");
            }
            i += 2;
            linked = true;
        }
        else
        {
            (toFollower ? followerFiles : leaderFiles).push_back(args[i]);
        }
    }
    if (leaderFiles.empty() || followerFiles.empty() || at == 0)
    {
        return UsageError("sync needs LEADER... --to FOLLOWER... --at K");
    }
    std::vector<FrameAttributes> leaderSlices;
    std::vector<FrameAttributes> followerSlices;
    if (const int code = ReadSlices(leaderFiles, leaderSlices); code != 0)
    {
        return code;
    }
    if (const int code = ReadSlices(followerFiles, followerSlices); code != 0)
    {
        return code;
    }
    const auto tooFar = [](int slice, const std::vector<FrameAttributes>& slices) {
        return slice > static_cast<int>(slices.size());
    };
    if (tooFar(at, leaderSlices) ||
        (linked && (tooFar(linkLeader, leaderSlices) || tooFar(linkFollower, followerSlices))))
    {
        std::fprintf(stderr, "orblane-cli: sync: a slice number is beyond its series\n");
        return 1;
    }
    const SeriesStack leader = StackOf(leaderSlices);
    const SeriesStack follower = StackOf(followerSlices);
    const SyncRelation relation = RelationOf(leader, follower, linked);
    SyncTarget target;
    const char* relationName = "none";
    if (relation == SyncRelation::ByPosition)
    {
        relationName = "position";
        target = FollowPosition(leader, at - 1, follower);
    }
    else if (relation == SyncRelation::ByDistance)
    {
        relationName = "distance";
        const auto leaderAnchor = leader.Position(linkLeader - 1);
        const auto followerAnchor = follower.Position(linkFollower - 1);
        if (leaderAnchor && followerAnchor)
        {
            target = FollowLinked(leader, at - 1, *leaderAnchor, follower, *followerAnchor);
        }
    }
    if (target.outcome == SyncOutcome::NoSlice)
    {
        std::printf("{\"relation\": \"%s\", \"slice\": null, \"outOfRange\": false}\n", relationName);
        return 0;
    }
    std::printf("{\"relation\": \"%s\", \"slice\": %d, \"outOfRange\": %s}\n", relationName, target.slice + 1,
                target.outcome == SyncOutcome::OutOfRange ? "true" : "false");
    return 0;
}

} // namespace orblane::cli
