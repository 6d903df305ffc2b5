// The files a station keeps in its working directory, and the lock that
// gives one station a directory for its whole session: KELBRIN4.CR1 holds the
// current layout, KELBRIN4.CR2 the records (see RecordStore), KELBRIN4.LEN
// their length and KELBRIN4.STA the statistics.
#pragma once
#include <string>

inline constexpr const char* kLayoutJournal = "KELBRIN4.CR1";

// Takes the lock of the working directory for this process (again: nothing).
// False when another station holds it.
bool TakeJournalLock();
// Gives up the working directory's lock (end of the process, tests).
void ReleaseJournalLock();
// A crash while a file was being replaced leaves its hidden new file behind:
// with the lock held, those of the station's own files go, and those of other
// writes once the process that made them is gone.
void RemoveUnfinishedFiles();
// Whether the file `nativePath` (in the system's own form) is the journal file
// `journal` of the working directory: the same file on the disk (whatever
// name, link or spelling of the directory leads there), or, while the journal
// file is not there, its name in any case in the working directory. Saving
// anything there would destroy what the station keeps in it.
bool LeadsToJournalFile(const std::string& nativePath, const char* journal);
// Whether `nativePath` leads to one of the files the station keeps in the
// working directory: the records, their length, the statistics and (unless
// `layoutJournal` is false, for the layout journal's own writes) the layout.
bool LeadsToStationFile(const std::string& nativePath, bool layoutJournal = true);
// The lock a station holds on its working directory for its whole session,
// for tools that read a working directory: taken on `nativeDirectory`
// (shared, or exclusive as a station takes it) without waiting. 0 with the
// lock's descriptor in `descriptor` (closing it gives the lock up);
// EWOULDBLOCK when it is held where the two do not go together (a station
// holds it exclusively); otherwise the error of opening the directory.
int LockWorkingDirectory(const std::string& nativeDirectory, bool shared, int& descriptor);
// Whether a station works in `nativeDirectory` (some process holds its lock
// exclusively), found out without touching the lock. False when the system
// does not tell.
bool StationWorksIn(const std::string& nativeDirectory);
