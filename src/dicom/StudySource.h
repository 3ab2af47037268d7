#pragma once

#include "dicom/DicomDataFileIO.h"
#include "dicom/StudyEntry.h"
#include "platform/ErrorCode.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string_view>
#include <vector>

namespace orblane {

// Where the study list's rows and file chains come from: a DICOMDIR, a scan of folders, or files named one by one.
// The list polls a source from its own thread; a source that reads in the background (a scan) hands out what it has
// found so far, so rows appear while it runs. Every row's firstSeries is the source's key of that study: the list
// hands it back unchanged to ask for the study's files.
class StudySource
{
public:
    virtual ~StudySource() = default;

    // Appends the rows found since the last call to added, and to changed the rows already handed out whose texts
    // are now different (a scan met a file that comes earlier in its study than the one the row was made from).
    virtual void TakeRows(std::vector<StudyEntry>& added, std::vector<StudyEntry>& changed) = 0;
    // True once nothing more will be found; rows taken after that are final.
    virtual bool Finished() const noexcept = 0;
    // Blocks until Finished (files named on the command line, which go to the viewer without a list; the tests).
    virtual void WaitUntilFinished() {}
    // Files looked at so far (for the list's progress text); 0 for a DICOMDIR, whose rows are there at once.
    virtual std::size_t FilesRead() const noexcept = 0;
    // Appends one unopened file per image of the study with this key, its series in series number order and each
    // series' images in instance number order (a DICOMDIR: in its record order).
    virtual void CollectImageFiles(DicomFileChain& chain, std::uint32_t studyKey, std::u16string_view studyLabel) = 0;
};

// What a command line's paths amount to.
enum class StudySourceKind
{
    DicomDir, // one folder holding a DICOMDIR, or a DICOMDIR file: read as the settings' medium always was
    Scan,     // folders without a DICOMDIR, or several paths: every file below them is looked at
    Files,    // only files that are not a DICOMDIR: they go to the viewer without a study list
};

struct OpenedStudySource
{
    std::unique_ptr<StudySource> source; // absent when a path does not exist or a DICOMDIR cannot be read
    StudySourceKind kind = StudySourceKind::Scan;
    ErrorOutcome error; // why the source is absent: "10103", with the DICOMDIR's errno when it has one
};

// The source for these paths, already started. A path that does not exist, or a DICOMDIR that cannot be read,
// leaves the source absent: the caller shows the error as for the settings' DICOMDIR.
OpenedStudySource OpenStudySource(const std::vector<std::filesystem::path>& paths);

// True for a file name that a medium gives its DICOMDIR, in any letter case and with the CD file system's ";1".
bool IsDicomDirName(std::string_view fileName) noexcept;

} // namespace orblane
