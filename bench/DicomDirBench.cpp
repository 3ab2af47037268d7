// DICOMDIR costs: opening a large medium, filling every row, collecting one study's files, and walking every record
// of a medium in both record length styles.
#include "dicom/DicomDirFileIO.h"

#include "support/DicomWriter.h"
#include "support/ScratchFolder.h"

#include <benchmark/benchmark.h>

#include <map>
#include <memory>
#include <string>

namespace {

using orblane::test::DirPatient;
using orblane::test::DirSeries;
using orblane::test::DirStudy;
using orblane::test::Length;

// patients × studiesPerPatient studies, each of seriesPerStudy series of imagesPerSeries images; the first study
// has bigStudyImages images instead when that is not 0.
std::vector<DirPatient> Medium(int patients, int studiesPerPatient, int seriesPerStudy, int imagesPerSeries,
                               int bigStudyImages = 0)
{
    std::vector<DirPatient> result;
    int image = 0;
    for (int p = 0; p < patients; ++p)
    {
        DirPatient patient{"Patient^" + std::to_string(p), "ID" + std::to_string(p), "19700101", "O", "ISO_IR 100", {}};
        for (int s = 0; s < studiesPerPatient; ++s)
        {
            DirStudy study{"20240131", "120000", {}};
            const bool big = p == 0 && s == 0 && bigStudyImages != 0;
            const int seriesCount = big ? 5 : seriesPerStudy;
            const int perSeries = big ? bigStudyImages / 5 : imagesPerSeries;
            for (int r = 0; r < seriesCount; ++r)
            {
                DirSeries series{"CT", {}};
                for (int i = 0; i < perSeries; ++i)
                {
                    series.fileIds.push_back("DICOM\\IM" + std::to_string(image++));
                }
                study.series.push_back(std::move(series));
            }
            patient.studies.push_back(std::move(study));
        }
        result.push_back(std::move(patient));
    }
    return result;
}

// Media are built once per shape and kept on disk for the whole run.
struct StoredMedium
{
    std::unique_ptr<orblane::test::ScratchFolder> folder;
    std::size_t records = 0;
};

const StoredMedium& Stored(const std::string& key, const std::vector<DirPatient>& patients, Length style)
{
    static std::map<std::string, StoredMedium> media;
    auto found = media.find(key);
    if (found == media.end())
    {
        StoredMedium medium{std::make_unique<orblane::test::ScratchFolder>(), 0};
        orblane::test::DicomDirOptions options;
        options.records = style;
        options.sequence = style;
        const auto file = orblane::test::BuildDicomDir(patients, options);
        file.WriteTo(medium.folder->Path() / "DICOMDIR");
        medium.records = file.records.size();
        found = media.emplace(key, std::move(medium)).first;
    }
    return found->second;
}

const StoredMedium& Large(int imagesPerSeries)
{
    // 2 000 studies; with 50 images per series, 200 000 image records (the first study has 500).
    return Stored("large" + std::to_string(imagesPerSeries), Medium(1000, 2, 2, imagesPerSeries, 500), Length::Defined);
}

void BM_OpenDicomDir(benchmark::State& state)
{
    const StoredMedium& medium = Large(static_cast<int>(state.range(0)));
    for (auto _ : state)
    {
        orblane::DicomDirFileIO dicomDir;
        benchmark::DoNotOptimize(dicomDir.OpenDicomDir(medium.folder->FolderText()));
    }
    state.counters["records"] = static_cast<double>(medium.records);
}
// Opening reads patients and studies only: 5 and 50 images per series must cost the same.
BENCHMARK(BM_OpenDicomDir)->Arg(5)->Arg(50)->Unit(benchmark::kMillisecond);

void BM_AllRows(benchmark::State& state)
{
    const StoredMedium& medium = Large(50);
    for (auto _ : state)
    {
        state.PauseTiming();
        orblane::DicomDirFileIO dicomDir;
        dicomDir.OpenDicomDir(medium.folder->FolderText());
        state.ResumeTiming();
        for (int i = 0; const auto entry = dicomDir.GetStudyEntry(i); ++i)
        {
            benchmark::DoNotOptimize(entry->patientName);
        }
    }
}
BENCHMARK(BM_AllRows)->Unit(benchmark::kMillisecond);

void BM_CollectBigStudy(benchmark::State& state)
{
    const StoredMedium& medium = Large(50);
    orblane::DicomDirFileIO dicomDir;
    dicomDir.OpenDicomDir(medium.folder->FolderText());
    const auto entry = dicomDir.GetStudyEntry(0);
    std::size_t files = 0;
    for (auto _ : state)
    {
        orblane::DicomFileChain chain;
        dicomDir.CollectImageFiles(chain, entry->firstSeries, u"2024.01.31 12:00:00");
        files = chain.size();
    }
    state.counters["files"] = static_cast<double>(files);
}
BENCHMARK(BM_CollectBigStudy)->Unit(benchmark::kMicrosecond);

// Open, every row, every study's files: each record of a 10 700-record medium walked at least once.
void BM_WalkEveryRecord(benchmark::State& state)
{
    const Length style = state.range(0) == 0 ? Length::Defined : Length::Undefined;
    const StoredMedium& medium =
        Stored(style == Length::Defined ? "every-defined" : "every-undefined", Medium(100, 2, 2, 25), style);
    for (auto _ : state)
    {
        orblane::DicomDirFileIO dicomDir;
        dicomDir.OpenDicomDir(medium.folder->FolderText());
        orblane::DicomFileChain chain;
        for (int i = 0; const auto entry = dicomDir.GetStudyEntry(i); ++i)
        {
            dicomDir.CollectImageFiles(chain, entry->firstSeries, u"");
        }
        benchmark::DoNotOptimize(chain.size());
    }
    state.counters["records"] = static_cast<double>(medium.records);
    state.counters["per_record"] =
        benchmark::Counter(static_cast<double>(medium.records),
                           benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_WalkEveryRecord)->Arg(0)->Arg(1)->ArgName("undefined")->Unit(benchmark::kMillisecond);

} // namespace
