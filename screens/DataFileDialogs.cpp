#include "screens/DataFileDialogs.h"

#include "console/ConsoleKeyboard.h"
#include "files/RecordStore.h"
#include "files/StationFiles.h"
#include "model/FieldModel.h"
#include "platform/CodePage.h"
#include "platform/FileReplacement.h"
#include "platform/FileSystem.h"
#include "screens/EntryScreen.h"
#include "screens/FileDialog.h"
#include "screens/InOutFailure.h"
#include "screens/OperatorRecord.h"
#include "screens/Prompts.h"
#include "screens/RecordActions.h"

int ConversionMode = ConversionEbcdicDin;
std::string DataFileName;
std::string DataDirectory = "./";

void ResetDataFiles() {
    ConversionMode = ConversionEbcdicDin;
    DataFileName.clear();
    DataDirectory = "./";
}

namespace {

void Remember(const std::string& path) {
    const std::size_t cut = NameStart(path);
    DataDirectory = path.substr(0, cut);
    DataFileName = path.substr(cut);
}

}  // namespace

void SaveData() {
    if (RecordLength() <= 0) return;
    const std::string path = AskFileName(DataDirectory, DataFileName, false, true);
    if (path.empty()) return;
    // Keyed data never goes missing unseen: what the file does not hold as
    // keyed is said, with the records to look at.
    const std::string lost = DescribeExportLosses(SaveDataTo(path));
    if (!lost.empty()) ShowMessage("Gesichert, aber " + lost + " !!!", true);
}

ExportLosses SaveDataTo(const std::string& path) {
    if (RecordLength() <= 0) return {};
    Remember(path);
    VerifyRecord.fill(0);
    // The station's own files are never saved over: a data file in place of
    // KELBRIN4.CR2 would leave the station writing its records to a file that
    // is gone, and one in place of KELBRIN4.CR1 would lose the layout.
    const std::string native = NativePath(path);
    if (LeadsToStationFile(native)) {
        ShowMessage("Kann Datei nicht schreiben !!!", true);
        return {};
    }

    // The file is replaced whole: a failure part way leaves the old file as it
    // was, and never a part of the records under the chosen name.
    ExportLosses losses;
    FileReplacement out;
    int error = out.Begin(path);
    if (error == 0) {
        // The walk moves the record file's position; Stop meanwhile stores the
        // operator's record at its own place.
        const OperatorRecordGuard guard;
        try {
            error = ExportRecordFile(
                StoredRecords.File(), out, ConversionMode, [] { PollKey(); }, &losses);
        } catch (...) {
            try {
                guard.Restore();
            } catch (...) {
                // The failure being handled is the one to report.
            }
            throw;
        }
        guard.Restore();
    }
    bool replaced = false;
    if (error == 0) error = out.Commit(replaced);
    if (error != 0) {
        ShowMessage("Kann Datei nicht schreiben !!!", true);
        return {};
    }
    return losses;
}

void LoadData() {
    if (RecordLength() <= 0) return;
    const std::string path = AskFileName(DataDirectory, DataFileName, false, false);
    if (path.empty()) return;
    // A load that left something out is never taken for a clean one.
    const std::string lost = DescribeImportLosses(LoadDataFrom(path));
    if (!lost.empty())
        ShowMessage("Geladen, aber nicht alles übernommen: "_oem + lost + " !!!", true);
}

ImportLosses LoadDataFrom(const std::string& path) {
    if (RecordLength() <= 0) return {};
    Remember(path);
    VerifyRecord.fill(0);

    ImportLosses losses;
    const ImportOutcome outcome =
        ImportDataFile(path, ConversionMode, losses, ReplaceRecordFile, [] { PollKey(); });
    switch (outcome.failure) {
        case ImportFailure::None:
            break;
        case ImportFailure::CannotRead:
            ShowMessage("Kann Datei nicht lesen !!!", true);
            return {};
        case ImportFailure::NothingInIt:
            ShowMessage("Kann Datei nicht lesen (Len=0) !!!", true);
            return {};
        case ImportFailure::CannotStore:
            // Before the rename the records are as they were; a failure after
            // it (flushing the directory) leaves the new ones, not known to be
            // safe on the disk. Either way the operator comes back where he was.
            ReportInOutError(outcome.error);
            return {};
    }
    ResumeOffset = 0;
    return losses;
}
