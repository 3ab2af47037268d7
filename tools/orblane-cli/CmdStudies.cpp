#include "Commands.h"

#include "AnsiCodePageOption.h"
#include "Json.h"

#include "dicom/DicomDirFileIO.h"
#include "dicom/DicomTextRules.h"
#include "platform/ErrorSink.h"

#include <cstdio>
#include <string>

namespace orblane::cli {

// Lists the studies of the DICOMDIR in FOLDER as the study list shows them, each with the files that opening it
// would load.
int RunStudies(Arguments args)
{
    std::vector<std::string_view> positional;
    if (const int code = TakeAnsiCodePageOption(args, positional); code != 0)
    {
        return code;
    }
    if (positional.size() != 1)
    {
        return UsageError("studies takes one FOLDER");
    }
    std::string folder(positional[0]);
    if (folder.empty() || folder.back() != '/')
    {
        folder += '/';
    }
    DicomDirFileIO dicomDir;
    if (dicomDir.OpenDicomDir(folder) != 0)
    {
        // On standard error as its code.
        RaiseError(dicomDir.LastError(), false);
        return 1;
    }
    std::string out = "{\"studies\": [";
    for (int index = 0;; ++index)
    {
        const std::optional<StudyEntry> entry = dicomDir.GetStudyEntry(index);
        if (!entry)
        {
            break;
        }
        DicomFileChain chain;
        if (entry->firstSeries != 0)
        {
            dicomDir.CollectImageFiles(chain, entry->firstSeries, entry->studyDateTime.value_or(u""));
        }
        out += index == 0 ? "{" : ", {";
        out += "\"patientName\": " + JsonStringOrNull(entry->patientName);
        out += ", \"patientId\": " + JsonStringOrNull(entry->patientId);
        out += ", \"birthDate\": " + JsonStringOrNull(entry->birthDate);
        out += ", \"sex\": " + JsonStringOrNull(entry->sex);
        out += ", \"studyDateTime\": " + JsonStringOrNull(entry->studyDateTime);
        out += ", \"modality\": " + JsonStringOrNull(entry->modality);
        out += ", \"files\": [";
        for (std::size_t i = 0; i < chain.size(); ++i)
        {
            const std::string& id = chain[i]->FileId();
            out += (i == 0 ? "" : ", ") + JsonString(ConvertPlainText(AsBytes(std::string_view(id.c_str()))));
        }
        out += "]}";
    }
    out += "]}\n";
    std::fputs(out.c_str(), stdout);
    return 0;
}

} // namespace orblane::cli
