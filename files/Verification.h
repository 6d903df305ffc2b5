// Which records are verified, and who keyed and verified each: KELBRIN4.VER,
// a file of the station's own beside the records (KELBRIN4.CR1 and CR2 keep
// their formats). A record counts as verified exactly when its stored bytes
// are the bytes a pass in verify mode confirmed: the file keeps a hash of
// those bytes, so any later change of the record (keyed, imported, moved,
// renumbered) makes it unverified by itself. A lost, damaged or torn file
// only makes records unverified, never the other way round.
//
// The file is text: a header line, then one line of 64 bytes for each record
// place, "<hash> <keyer> <verifier>", the hash of 16 hex digits ("-" x 16 for
// none), the names as ASCII logins padded with blanks.
#pragma once
#include <cstdint>
#include <string>

#include "platform/ByteFile.h"

inline constexpr const char* kVerificationFile = "KELBRIN4.VER";

// The hash of a record's stored bytes.
uint64_t RecordHash(const uint8_t* bytes, int length);

struct VerificationEntry {
    bool verified = false;  // a hash is there (whether it fits the record is another matter)
    uint64_t hash = 0;
    std::string keyer;     // who keyed the record last ("" not known)
    std::string verifier;  // who verified it ("" none)
};

// Verifying a sample: every `every`-th record place, from place `start`
// (0-based, below `every`) on. `every` 1 is every record.
struct VerificationSample {
    int every = 1;
    int64_t start = 0;
    bool Due(int64_t slot) const { return every <= 1 || slot % every == start; }
};

class VerificationFile {
  public:
    // The sample the file keeps for records of `length` bytes (every record
    // when none is kept).
    VerificationSample Sample(int length);
    // Keeps `sample` in the file's header, flushed. 0 or the error.
    int SetSample(int length, const VerificationSample& sample);
    // The entry of record place `slot` (0-based) for records of `length`
    // bytes; an empty entry when there is none or the file is of another
    // length, cannot be read or is damaged there.
    VerificationEntry Entry(int64_t slot, int length);
    // Whether the record place `slot` holding `bytes` counts as verified.
    bool IsVerified(int64_t slot, const uint8_t* bytes, int length);
    // The record at `slot` was keyed by `login`: not verified (whatever the
    // entry said), the keyer noted. Not flushed: a lost entry only loses the
    // name. 0 or the system's error number.
    int NoteKeyed(int64_t slot, int length, const std::string& login);
    // The record at `slot` holding `bytes` was confirmed in verify mode by
    // `login`; flushed. 0 or the system's error number.
    int NoteVerified(int64_t slot, const uint8_t* bytes, int length, const std::string& login);
    // The entries of `slot` and every later place go (records moved or
    // replaced there), flushed before the records change. 0 or the error.
    int ForgetFrom(int64_t slot);
    // The file goes (no records).
    void Erase();
    void Close();

  private:
    int OpenFor(int length, bool create);
    int WriteEntry(int64_t slot, const VerificationEntry& entry);

    ByteFile file_;
    int length_ = 0;  // the record length the open file is for; 0: none open
    bool writable_ = false;
    VerificationSample sample_;  // the open file's
};
