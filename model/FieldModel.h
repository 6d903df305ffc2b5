// The record layout and the record buffers: the fields of the record with their
// positions in the record and on the screen, their companions (address column,
// condition), their lookup tables, and the buffers every keyed record passes
// through. Positions are 1-based throughout.
#pragma once
#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

inline constexpr int MaxFields = 1840;
inline constexpr int MaxRecordLength = 1840;
// A range whose upper bound is this value is a set of allowed digits.
inline constexpr int32_t DigitSetMarker = 1000000000;

// One field. The definition file stores these 15 bytes as they stand, so the
// widths are part of the file format.
struct FieldDef {
    int16_t RecordPos = 0;  // first character in the record
    int16_t ScreenPos = 0;  // first cell of rows 2..24, counted linearly from 1
    int16_t Length = 0;
    uint8_t Type = 'A';     // 'A'..'Z'
    int32_t RangeFrom = 1;  // from > to: no range
    int32_t RangeTo = 0;    // DigitSetMarker: a digit set
};

struct FieldExtra {
    int16_t AddressColumn = 0;   // 0 none, 1..4 a column of the address data
    int16_t ConditionField = 0;  // 0 none; n: the range applies while field n is in range
    int32_t ConditionFrom = 1;
    int32_t ConditionTo = 0;
};

// A loaded lookup table (its lines and index); defined with the table loader,
// which also gives each table the way it is freed (a table shared by several
// fields goes with its last one): the model needs nothing of the loader.
struct LookupTable;
struct LookupTableDeleter {
    void (*release)(LookupTable*) noexcept = nullptr;
    void operator()(LookupTable* table) const noexcept {
        if (release != nullptr) release(table);
    }
};
using LookupTablePtr = std::unique_ptr<LookupTable, LookupTableDeleter>;

// The lookup table of one field; index 0 holds the postal-code address data.
struct TableAssignment {
    std::string Name;      // at most 8 characters; ignored while Table is empty
    LookupTablePtr Table;  // the loaded table, with its index
};

// Indexed 1..FieldCount; entries above the count mean nothing.
extern std::array<FieldDef, MaxFields + 1> FieldTable;
extern std::array<FieldExtra, MaxFields + 1> FieldExtras;
extern std::array<TableAssignment, MaxFields + 1> TableAssignments;
extern uint16_t FieldCount;

// Address columns of a field (FieldExtra::AddressColumn) that the lookups read.
enum AddressColumns {
    kStreetColumn = 1,
    kHouseNumberColumn = 2,
    kPostalCodeColumn = 3,
    kTownColumn = 4,
};

// Names of the address-data columns, 1..6, in code page 850.
std::string AddressColumnName(int column);

using RecordBuffer = std::array<uint8_t, MaxRecordLength>;
extern RecordBuffer WorkRecord;     // the record being keyed, or as read from the file
extern RecordBuffer VerifyRecord;   // what the operator keys in verify mode
extern RecordBuffer DupRecord;      // the previous record; saved verify input
extern RecordBuffer ScratchRecord;  // the unformatted record while the formatted one is written
extern RecordBuffer BackupRecord;   // the record before a program key switches the layout
extern int64_t CurrentRecordNumber;

// The record positions of a field that lie inside a record buffer. A damaged
// field table (a length of 0, a field running past the record's end, a
// negative position) yields fewer positions, never one outside the buffer.
struct FieldExtent {
    int first = 1;   // record position of the field's first byte in the buffer
    int length = 0;  // 0: nothing of the field lies in the buffer
};
// Inline: the checks and the export ask for them for every field of every
// record.
inline FieldExtent ExtentOf(const FieldDef& field) {
    const int first = std::max<int>(field.RecordPos, 1);
    const int last = std::min<int>(field.RecordPos + field.Length - 1, MaxRecordLength);
    return FieldExtent{first, std::max(0, last - first + 1)};
}
// The bytes of `field` in `record`, as far as they lie inside it.
inline std::span<uint8_t> FieldBytes(const FieldDef& field, RecordBuffer& record) {
    const FieldExtent extent = ExtentOf(field);
    if (extent.length == 0) return {};
    return std::span<uint8_t>(record).subspan(static_cast<std::size_t>(extent.first - 1),
                                              static_cast<std::size_t>(extent.length));
}
inline std::span<const uint8_t> FieldBytes(const FieldDef& field, const RecordBuffer& record) {
    const FieldExtent extent = ExtentOf(field);
    if (extent.length == 0) return {};
    return std::span<const uint8_t>(record).subspan(static_cast<std::size_t>(extent.first - 1),
                                                    static_cast<std::size_t>(extent.length));
}

// Everything of this model back to an empty layout (session start).
void ResetFieldModel();

// Queries.
int RecordLength();
int FieldAtRecordPos(int p);
int RecordPosOf(int n, int k);
inline bool IsField(int n) {
    return n >= 1 && n <= FieldCount;
}
inline bool HasRange(const FieldDef& field) {
    return field.RangeFrom <= field.RangeTo;
}
bool HasTable(int n);

// A place of the record file that holds no record: nothing but the end
// markers, which an empty record has as well. No record counter: a counter
// alone would make a record that nobody keyed.
RecordBuffer EmptyPlaceImage();

// Record buffers, used by the field editor of entry mode.
void DeleteCharInField(int p, RecordBuffer& buffer);
void InsertCharInField(int p, uint8_t c, RecordBuffer& buffer);
bool RecordsDiffer(const RecordBuffer& a, const RecordBuffer& b);
// Turns every 0x00 into a blank, eight bytes at a time: the export and the
// checks run this over every byte of every record.
void BlanksForZeros(uint8_t* bytes, std::size_t count);

// Editing the layout.
void ResetFieldExtra(int n);
void PutField(int n, uint8_t letter, int length);
bool SetTypeSplitOrMerge(int n, uint8_t c, int cursorPos);
// Grows or shrinks field n; false when the change did not fit and was undone.
bool ResizeField(int n, int delta);
void RemoveLastField();
void ResetFieldTable();

// What resizing a field needs of the definition screen and the journal; the
// session wires them at start.
struct FieldEditHooks {
    void (*EraseOnScreen)(int n) = nullptr;
    void (*DrawOnScreen)(int n) = nullptr;
    void (*WriteJournal)() = nullptr;
    void (*PlaceCursorAt)(int recordPos) = nullptr;
};
extern FieldEditHooks FieldHooks;
