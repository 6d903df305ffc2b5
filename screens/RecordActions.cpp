#include "screens/RecordActions.h"

#include <algorithm>
#include <span>

#include "console/WinCrt.h"
#include "files/Statistics.h"
#include "files/Tables.h"
#include "model/Characters.h"
#include "model/FieldModel.h"
#include "model/ProgramKeys.h"
#include "model/ScreenLayout.h"
#include "platform/CodePage.h"
#include "screens/DefinitionScreen.h"
#include "screens/EntryScreen.h"
#include "screens/FieldCursor.h"
#include "screens/FieldEngine.h"
#include "screens/Journal.h"
#include "screens/LineEditor.h"
#include "screens/OperatorRecord.h"
#include "screens/Session.h"
#include "screens/StatusLine.h"

bool DupSkipOn = false;
std::string LastSearchTerm;
int SearchKind = SearchByContent;

void ResetRecordActions() {
    DupSkipOn = false;
    LastSearchTerm.clear();
    SearchKind = SearchByContent;
}

namespace {

// The guard that holds the operator's record while an activity has the buffers.
const OperatorRecordGuard* heldRecord = nullptr;

// The longest term the search prompt takes.
constexpr int kSearchTermLength = 50;

void CopyField(const FieldDef& field, RecordBuffer& from, RecordBuffer& to) {
    const std::span<uint8_t> source = FieldBytes(field, from);
    std::copy(source.begin(), source.end(), FieldBytes(field, to).begin());
}

void ClearField(const FieldDef& field, RecordBuffer& record) {
    const std::span<uint8_t> bytes = FieldBytes(field, record);
    std::fill(bytes.begin(), bytes.end(), 0);
}

// A read failed while an activity held the buffers: the operator's record
// goes back into them before the failure is reported, so nothing keyed is lost.
void RestoreAfterFailure(const OperatorRecordGuard& guard) {
    try {
        guard.Restore();
    } catch (...) {
        // The buffers are back; the failure being handled is the one to report.
    }
}

// Fetches the record before the operator's into the DupRecord. The operator's
// record gets its buffers and place back afterwards: they are not read from
// the file again, so that what a refused or failed commit could not store is
// not thrown away (nor, in verify mode, the verify input of the record).
bool FetchPreviousRecord() {
    const OperatorRecordGuard guard;
    bool found = false;
    try {
        found = PreviousRecord(false);
    } catch (...) {
        RestoreAfterFailure(guard);
        throw;
    }
    if (found) DupRecord = WorkRecord;
    guard.Restore();
    return found;
}

// The status line of the entry and verify screen.
void ShowEntryStatus() {
    ShowStatus("Pos", CursorRecordPos(), CurrentRecordNumber, CursorField(), true);
}

// The last record position of `record` at which `term` (already in upper case)
// begins, compared in upper case; 0 when it does not occur.
int LastMatch(const RecordBuffer& record, int length, const std::string& term) {
    const int termLength = static_cast<int>(term.size());
    if (termLength == 0 || termLength > length) return 0;
    std::array<uint8_t, MaxRecordLength> folded{};
    for (int i = 0; i < length; ++i) folded[i] = ToUpperFold(record[i]);
    for (int i = length - termLength; i >= 0; --i) {
        if (std::equal(term.begin(), term.end(), folded.begin() + i,
                       [](char a, uint8_t b) { return static_cast<uint8_t>(a) == b; }))
            return i + 1;
    }
    return 0;
}

// Whether the operator asked to stop the search: a waiting key is taken, and
// only Esc stops.
bool SearchCancelled() {
    if (!PollKey()) return false;
    return ReadKey() == kKeyEscape;
}

// Content search from the record after the current one, round to the current
// one, which is scanned last. `cursorPos`: where the operator's cursor was.
// False when the record could not be stored: then nothing was searched.
bool SearchContent(const std::string& term, int cursorPos, int32_t cursorX, int32_t cursorY) {
    const int length = RecordLength();
    const int64_t start = StoredRecords.Position();
    // Leaving the record stores it first; when it cannot be stored, the
    // operator stays on it, with everything keyed still there.
    if (!CommitRecord(true)) return false;
    std::string folded = term;
    for (char& c : folded) c = static_cast<char>(ToUpperFold(static_cast<uint8_t>(c)));

    const OperatorRecordGuard guard(cursorX, cursorY);
    int64_t hitOffset = -1;
    int hitPos = 0;
    bool wrapped = false;
    try {
        for (;;) {
            bool loaded = NextRecord(false);
            if (!loaded) {
                // Behind the last record: once round is enough, also when the
                // starting record is not in the file.
                if (wrapped) break;
                wrapped = true;
                loaded = FirstRecord(false);
                if (!loaded) break;
            }
            const int64_t offset = StoredRecords.Position();
            hitPos = LastMatch(WorkRecord, length, folded);
            if (hitPos > 0) {
                hitOffset = offset;
                break;
            }
            if (SearchCancelled()) break;
            if (wrapped && offset >= start) break;
        }
    } catch (...) {
        RestoreAfterFailure(guard);
        throw;
    }

    if (hitOffset >= 0) {
        // The operator's record stays while the hit is read again.
        guard.Restore();
        OpenRecordAt(hitOffset, true);  // in verify mode also into the VerifyRecord
        DrawAllEntryFields(hitPos);
    } else {
        // Nothing found (or stopped): the operator's record as it was.
        guard.Restore();
        DrawAllEntryFields(cursorPos);
    }
    return true;
}

// Goes to the record with the number `term`; nothing happens for anything but
// the number of a record in the file or of the one behind the last. False
// when it did not move.
bool SearchRecordNumber(const std::string& term, int cursorPos) {
    const int64_t number = ParseDecimal(term);
    if (number < 1) return false;
    const int64_t length = RecordLength();
    int64_t size = 0;
    CheckInOut(StoredRecords.File().Size(size));
    if ((number - 1) > size / length) return false;  // also keeps the product in range
    const int64_t offset = (number - 1) * length;
    if (offset > size) return false;
    // Leaving the record stores it first: jumping away without that would
    // throw away what was keyed into it. A refused commit keeps the operator.
    if (!CommitRecord(true)) return false;
    OpenRecordAt(offset, true);
    DrawAllEntryFields(cursorPos);
    return true;
}

// Keeps the search prompt's option keys live exactly while it is open.
struct SearchPromptScope {
    SearchPromptScope() { SearchPromptActive = true; }
    ~SearchPromptScope() { SearchPromptActive = false; }
    SearchPromptScope(const SearchPromptScope&) = delete;
    SearchPromptScope& operator=(const SearchPromptScope&) = delete;
};

}  // namespace

OperatorRecordGuard::OperatorRecordGuard(int32_t cursorX, int32_t cursorY)
    : work_(WorkRecord),
      verify_(VerifyRecord),
      record_(CurrentRecordState()),
      cursorX_(cursorX),
      cursorY_(cursorY),
      outermost_(heldRecord == nullptr) {
    if (outermost_) heldRecord = this;
}

OperatorRecordGuard::OperatorRecordGuard() : OperatorRecordGuard(CursorX, CursorY) {}

OperatorRecordGuard::~OperatorRecordGuard() {
    if (outermost_) heldRecord = nullptr;
}

void OperatorRecordGuard::Restore() const {
    WorkRecord = work_;
    VerifyRecord = verify_;
    MoveCursor(cursorX_, cursorY_);
    RestoreRecordState(record_);
}

bool CommitOperatorRecord() {
    if (heldRecord == nullptr) return CommitRecordAsKeyed(true);
    // The activity gets its buffers, place and cursor back afterwards: when
    // the station does not end (the commit failed), it goes on where it was.
    const OperatorRecordGuard activity;
    struct Back {
        const OperatorRecordGuard& state;
        ~Back() { state.Restore(); }
    } back{activity};
    const OperatorRecordGuard& held = *heldRecord;
    held.Restore();
    return CommitRecordAsKeyed(true);
}

void ShowDupSkip() {
    DrawSwitchItem(22, " F4", "Dup/Skip ", DupSkipOn);
}

void ToggleDupSkip() {
    DupSkipOn = !DupSkipOn;
    ShowDupSkip();
    FieldEnter(CursorField(), true);
}

void DupField(int n) {
    if (!IsField(n)) return;
    const FieldDef& field = FieldTable[n];
    CommitRecord(true);  // stored or not, the record stays on the screen
    if (FetchPreviousRecord()) {
        if (Mode == ModeVerify) {
            CopyField(field, DupRecord, VerifyRecord);
            ClearField(field, DupRecord);
        } else {
            CopyField(field, DupRecord, WorkRecord);
        }
    } else if (Mode == ModeVerify) {
        ClearField(field, VerifyRecord);
        ClearField(field, DupRecord);
    }
}

bool VerifyAgainstPrevious(int n) {
    if (!IsField(n)) return true;
    if (!FetchPreviousRecord()) return false;
    const FieldDef& field = FieldTable[n];
    const std::span<uint8_t> stored = FieldBytes(field, WorkRecord);
    const std::span<uint8_t> previous = FieldBytes(field, DupRecord);
    return std::equal(stored.begin(), stored.end(), previous.begin(), previous.end());
}

void Korrektur(int n) {
    if (!IsField(n)) return;
    const FieldDef& field = FieldTable[n];
    const std::span<uint8_t> input = FieldBytes(field, VerifyRecord);
    if (std::all_of(input.begin(), input.end(), [](uint8_t c) { return c == 0; })) {
        // Armed for re-keying and nothing typed yet: the input kept aside counts.
        CopyField(field, DupRecord, WorkRecord);
        CopyField(field, DupRecord, VerifyRecord);
    } else {
        CopyField(field, VerifyRecord, WorkRecord);
    }
    CountKorrektur(Mode == ModeVerify);
    NoteFieldConfirmed(n);
    NoteRecordKeyed();  // the stored record takes over what was keyed
    CommitRecord(true);
    DrawEntryField(n);
    ArmRekey(n);
}

void SatzScan() {
    VerifyRecord = WorkRecord;
    NoteRecordScanned();
    DrawAllEntryFields(CursorRecordPos());
    ArmRekey(CursorField());
}

void Search() {
    if (RecordLength() <= 0) return;
    VerifyRecord = WorkRecord;
    const int cursorPos = CursorRecordPos();
    DrawAllEntryFields(cursorPos);
    const int32_t cursorX = CursorX;
    const int32_t cursorY = CursorY;

    ShowLegend(LegendSearch);
    const std::string prompt = LastSearchTerm.empty() ? std::string("Suchbegriff: ")
                                                      : "Suchbegriff [" + LastSearchTerm + "]: ";
    MoveCursor(ShowStatus(prompt, 0, 0, 0, true), 1);
    std::string term;
    bool entered = false;
    {
        const SearchPromptScope scope;
        entered = LineEditor(term, kSearchTermLength);
    }
    if (term.empty()) term = LastSearchTerm;
    bool drawn = false;
    if (entered && !term.empty()) {
        LastSearchTerm = term;
        drawn = SearchKind == SearchByContent ? SearchContent(term, cursorPos, cursorX, cursorY)
                                              : SearchRecordNumber(term, cursorPos);
    }
    if (!drawn) MoveCursor(cursorX, cursorY);

    ShowLegend(LegendFor());
    ShowEntryStatus();
    if (Mode == ModeVerify) ArmRekey(CursorField());
}

ClearAnswer ClearAllPrompt() {
    const int32_t x = CursorX;
    const int32_t y = CursorY;
    ShowLegend(LegendEscape);
    const int column =
        ShowStatus("Möchten Sie alle (noch nicht gesicherten) Daten löschen (Esc/N/Entf) ?"_oem, 0,
                   0, 0, true);
    MoveCursor(column, 1);
    const MappedKey key = ReadMappedKey();
    ClearAnswer answer = ClearAnswer::Cancelled;
    if (key.character == 'N' || key.character == 'n') {
        answer = ClearAnswer::Keep;
    } else if (key.character == 0 && key.scanCode == ScanDel) {
        answer = ClearAnswer::Deleted;
    }
    if (answer != ClearAnswer::Deleted) {
        MoveCursor(x, y);
    } else {
        FieldCount = 0;
        ClearJournalFiles();
        ResumeOffset = 0;
        ClearScreen();
        ClearLayout();
        DrawLayoutRows();
        PlaceCursorAtRecordPos(1);
        ClearProgramKeys();
        ShowProgramKeyCaptions();
        for (int slot = 0; slot <= MaxFields; ++slot) ReleaseSlot(slot);
    }
    ShowLegend(LegendFor());
    return answer;
}

bool EndPrompt() {
    return ClearAllPrompt() != ClearAnswer::Cancelled;
}
