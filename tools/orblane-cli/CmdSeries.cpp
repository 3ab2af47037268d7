#include "Commands.h"
#include "platform/PathText.h"

#include "Json.h"

#include "dicom/SeriesModel.h"
#include "dicom/StudySource.h"
#include "imaging/SeriesThumbnail.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

namespace orblane::cli {
namespace {

// The DICOMDIR a path names: the file itself, or one inside the folder (in any letter case, or with ";1").
std::optional<std::filesystem::path> FindDicomDir(const std::filesystem::path& path)
{
    std::error_code error;
    if (std::filesystem::is_regular_file(path, error))
    {
        return path;
    }
    for (const auto& entry : std::filesystem::directory_iterator(path, error))
    {
        if (IsDicomDirName(entry.path().filename().string()) && entry.is_regular_file(error))
        {
            return entry.path();
        }
    }
    return std::nullopt;
}

std::string JsonUid(const std::string& uid)
{
    return uid.empty() ? std::string("null") : JsonStringUtf8(uid);
}

} // namespace

// Prints the studies and series of a medium (its DICOMDIR, or every file below a folder without one), and with
// --thumbnails writes each series' picture as OUTDIR/<seriesInstanceUid>.png.
int RunSeries(Arguments args)
{
    std::optional<std::filesystem::path> thumbnails;
    std::vector<std::string_view> positional;
    for (std::size_t i = 0; i < args.size(); ++i)
    {
        if (args[i] == "--thumbnails")
        {
            if (i + 1 == args.size())
            {
                return UsageError("--thumbnails takes OUTDIR");
            }
            thumbnails = std::filesystem::path(std::string(args[++i]));
        }
        else
        {
            positional.push_back(args[i]);
        }
    }
    if (positional.size() != 1)
    {
        return UsageError("series takes one PATH");
    }
    const std::filesystem::path path{std::string(positional[0])};
    std::error_code error;
    if (!std::filesystem::exists(path, error))
    {
        std::fprintf(stderr, "error %d (%s: %s)\n", ENOENT, platform::Utf8FromPath(path).c_str(),
                     std::strerror(ENOENT));
        return 1;
    }
    MediumSeries medium;
    if (const auto dicomDir = FindDicomDir(path))
    {
        if (const int code = ReadDicomDirSeries(*dicomDir, medium); code != 0)
        {
            std::fprintf(stderr, "error 10103 (%s: %s)\n", platform::Utf8FromPath(*dicomDir).c_str(),
                         code > 0 ? std::strerror(code) : "not a DICOMDIR");
            return 1;
        }
        CompleteFromFirstFiles(medium);
    }
    else
    {
        ScanFolderSeries(path, medium);
    }
    if (thumbnails)
    {
        std::filesystem::create_directories(*thumbnails, error);
    }
    std::string out = "{\"studies\": [";
    for (std::size_t s = 0; s < medium.studies.size(); ++s)
    {
        const StudyEntryOfSeries& study = medium.studies[s];
        out += s == 0 ? "{" : ", {";
        out += "\"studyInstanceUid\": " + JsonUid(study.studyInstanceUid) + ", \"series\": [";
        for (std::size_t k = 0; k < study.series.size(); ++k)
        {
            const SeriesEntry& series = study.series[k];
            out += k == 0 ? "{" : ", {";
            out += "\"seriesInstanceUid\": " + JsonUid(series.seriesInstanceUid);
            out += ", \"number\": " + (series.number ? std::to_string(*series.number) : std::string("null"));
            out += ", \"modality\": " + JsonUid(series.modality);
            out += ", \"description\": " + JsonStringOrNull(series.description);
            out += ", \"frameOfReferenceUid\": " + JsonUid(series.frameOfReferenceUid);
            out += ", \"images\": " + std::to_string(series.images.size());
            out += std::string(", \"icon\": ") + (series.icon ? "true" : "false");
            out += std::string(", \"kind\": \"") + SeriesKindName(series.kind) + "\"}";
            // A UID names the file, so one that could leave the folder (or is empty) gets no thumbnail.
            const bool safeName = !series.seriesInstanceUid.empty() &&
                                  series.seriesInstanceUid.find_first_not_of("0123456789.") == std::string::npos;
            DisplayBitmap picture;
            if (thumbnails && safeName && MakeSeriesThumbnail(medium, series, picture) &&
                !WriteBitmapPng(picture, *thumbnails / (series.seriesInstanceUid + ".png")))
            {
                std::fprintf(stderr, "orblane-cli: cannot write the thumbnail of %s\n",
                             series.seriesInstanceUid.c_str());
            }
        }
        out += "]}";
    }
    out += "]}\n";
    std::fputs(out.c_str(), stdout);
    return 0;
}

} // namespace orblane::cli
