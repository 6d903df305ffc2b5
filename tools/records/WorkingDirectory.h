// What kelbrin-check and kelbrin-export share: a station's working directory
// read without a station. They enter the directory, read its layout from
// KELBRIN4.CR1 with the station's own reader and open KELBRIN4.CR2 for
// reading; what goes wrong is said on standard error, in German, as one line
// led by the program's name.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "platform/ByteFile.h"

// The session state the station's checks and export read: the field types, an
// empty layout, entry mode.
void StartToolSession();

// "<program>: <text>" on standard error; `text` in UTF-8.
void Say(const char* program, const std::string& text);
// " (Ein-/Ausgabefehler 2: Datei nicht gefunden.)": the reason for a message.
std::string Because(int error);

// The options both tools take: "--" (what follows are names), --help or -h
// (`help` prints the help) and --version. True when `argument` was one of them,
// while options are still read; `answered` then says whether the tool has
// given its answer and ends with success.
bool SharedOption(std::string_view argument, bool& options, void (*help)(), bool& answered);

// Makes `directory` the current directory; false, after saying why, when it
// cannot be entered.
bool EnterWorkingDirectory(const char* program, const std::string& directory);

// Takes the layout of KELBRIN4.CR1 in the current directory, with its lookup
// tables and address data when `withTables`. False, after saying why, when
// there is no layout to work with (the file is missing, unreadable, damaged or
// holds no field). A table or the address data that could not be loaded is
// said too; `tablesMissing` then becomes true and the layout is taken without
// it.
bool ReadWorkingLayout(const char* program, bool withTables, bool& tablesMissing);

// Opens KELBRIN4.CR2 of the current directory for reading: 0, ENOENT when there
// is none (a station that ended without records leaves none), or, after saying
// why, the error number (EINVAL when its records were written with another
// length than the layout's, or are no whole number of the layout's records).
int OpenRecords(const char* program, ByteFile& records);

// What the verification of the records says (see files/Verification.h).
struct VerificationSums {
    int64_t records = 0;
    int64_t empty = 0;
    int64_t verified = 0;
    int64_t unverified = 0;
    int64_t notDue = 0;  // records with content outside the sample
    int sampleEvery = 1;
};
// Goes through every whole record of `records` (the layout's length) and
// hands each record with content that is due for verifying (in the sample
// the station keeps) and not verified to `unverified`
// (record number, who keyed it if known). A read error throws InOutError.
VerificationSums WalkVerification(
    ByteFile& records, const std::function<void(int64_t, const std::string&)>& unverified);
