#include "files/Journal.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "console/ConsoleKeyboard.h"
#include "console/ConsoleScreen.h"
#include "core/FieldModel.h"
#include "core/InOutFailure.h"
#include "core/Prompts.h"
#include "core/RecordActions.h"
#include "files/DefinitionFile.h"
#include "platform/CodePage.h"
#include "platform/FileSystem.h"
#include "platform/WindowSystem.h"

ByteFile RecordFile;

namespace {

int lockDescriptor = -1;

// The layout journal is behind memory (its last write failed).
bool layoutUnwritten = false;
// The error number the operator was last told about; 0 after a write succeeded.
int reportedLayoutError = 0;

bool WriteLayoutJournal(bool reportAlways) {
    try {
        WriteDefinitionFile(kLayoutJournal);
    } catch (const InOutError& error) {
        layoutUnwritten = true;
        // A full disk fails every change until room is made: one box says so,
        // and each further failure of the same kind only beeps, so that the
        // operator can go on working (and make room) without a box per key.
        if (reportAlways || error.code != reportedLayoutError) {
            reportedLayoutError = error.code;
            ReportInOutError(error.code);
        } else {
            Beep();
        }
        return false;
    }
    layoutUnwritten = false;
    reportedLayoutError = 0;
    return true;
}

// Two stations in one directory would overwrite each other's journal: the
// first one holds a lock on the working directory itself for its whole
// session (no lock file is left lying around).
bool TakeJournalLock() {
    if (lockDescriptor >= 0) return true;
    const int fd = ::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return true;  // an unreadable directory fails later, with its own message
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return false;
    }
    lockDescriptor = fd;
    return true;
}

bool FileExists(const char* name) {
    ByteFile probe;
    return probe.Open(name, ByteFile::Mode::Read) == 0;
}

}  // namespace

void ReleaseJournalLock() {
    if (lockDescriptor < 0) return;
    ::flock(lockDescriptor, LOCK_UN);
    ::close(lockDescriptor);
    lockDescriptor = -1;
}

void OpenJournal() {
    layoutUnwritten = false;
    reportedLayoutError = 0;
    if (!TakeJournalLock()) {
        ShowMessage("In diesem Verzeichnis arbeitet schon eine andere Kelbrin-Station !!!"_oem,
                    true);
        if (WindowSystem* host = BoundWindowSystem()) host->EndProcess(1);
        return;
    }
    bool present = RecordFile.Open(kRecordJournal, ByteFile::Mode::ReadWrite) == 0;
    if (!present) CheckInOut(RecordFile.Open(kRecordJournal, ByteFile::Mode::Create));
    if (FileExists(kLayoutJournal)) {
        ReadDefinitionFile(kLayoutJournal);
        present = true;
    }
    if (present) {
        ShowMessage("Es sind schon Daten vorhanden", false);
        ClearAllPrompt();
    }
}

void CloseJournal() {
    int64_t size = 0;
    CheckInOut(RecordFile.Size(size));
    CheckInOut(RecordFile.Close());
    if (size == 0) EraseFile(kRecordJournal);
}

void JournalDefinition() {
    WriteLayoutJournal(false);
}

bool LayoutJournalUnwritten() {
    return layoutUnwritten;
}

bool WriteLayoutJournalForEnd(bool evenIfWritten) {
    if (!layoutUnwritten && !evenIfWritten) return true;
    return WriteLayoutJournal(true);
}

bool CommitRecord(bool /*flush*/) {
    // Records are keyed in entry mode, which this version does not have yet:
    // no record can be on the screen, so there is nothing to write.
    return true;
}

void CloseRecordFile() {
    CheckInOut(RecordFile.Close());
}

void ClearJournalFiles() {
    EraseFile(kLayoutJournal);
    layoutUnwritten = false;  // the layout is gone, and so is its journal
    reportedLayoutError = 0;
    CheckInOut(RecordFile.Close());
    CheckInOut(RecordFile.Open(kRecordJournal, ByteFile::Mode::Create));
}
