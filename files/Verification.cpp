#include "files/Verification.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

// Every line is this long, the header too, so that a record's line is found
// by its place alone.
constexpr int kLine = 64;
constexpr int kHashDigits = 16;
constexpr int kNameWidth = 22;
constexpr const char* kHeaderWord = "KELBRIN4.VER 1 ";

std::string HeaderLine(int length, const VerificationSample& sample = {}) {
    std::string line = kHeaderWord + std::to_string(length);
    if (sample.every > 1)
        line += " " + std::to_string(sample.every) + " " + std::to_string(sample.start);
    line.resize(kLine - 1, ' ');
    line += '\n';
    return line;
}

// Whether `header` is one for records of `length` bytes; its sample into
// `sample` (every record when it names none, or none that makes sense).
bool ReadHeader(const char* header, int length, VerificationSample& sample) {
    sample = VerificationSample{};
    const std::string text(header, kLine);
    const std::string prefix = kHeaderWord + std::to_string(length);
    if (text.compare(0, prefix.size(), prefix) != 0 || text[prefix.size()] != ' ' ||
        text[kLine - 1] != '\n')
        return false;
    long long every = 0, start = 0;
    if (std::sscanf(text.c_str() + prefix.size(), " %lld %lld", &every, &start) == 2 && every > 1 &&
        every <= 1000000 && start >= 0 && start < every) {
        sample.every = static_cast<int>(every);
        sample.start = start;
    }
    return true;
}

// A login as it stands in a line: cut to its column, blanks and control
// characters made '?' so that the columns stay apart.
std::string Column(const std::string& name) {
    std::string text = name.substr(0, kNameWidth);
    for (char& c : text) {
        if (c <= ' ' || c > '~') c = '?';
    }
    text.resize(kNameWidth, ' ');
    return text;
}

std::string Trimmed(const char* text, int width) {
    std::string value(text, static_cast<std::size_t>(width));
    value.erase(value.find_last_not_of(' ') + 1);
    return value;
}

std::string EntryLine(const VerificationEntry& entry) {
    char hash[kHashDigits + 1];
    if (entry.verified) {
        std::snprintf(hash, sizeof hash, "%016llx", static_cast<unsigned long long>(entry.hash));
    } else {
        std::memset(hash, '-', kHashDigits);
        hash[kHashDigits] = '\0';
    }
    std::string line =
        std::string(hash) + ' ' + Column(entry.keyer) + ' ' + Column(entry.verifier) + ' ';
    line += '\n';
    return line;
}

bool ParseHash(const char* text, uint64_t& hash) {
    hash = 0;
    for (int i = 0; i < kHashDigits; ++i) {
        const char c = text[i];
        int digit = 0;
        if (c >= '0' && c <= '9') {
            digit = c - '0';
        } else if (c >= 'a' && c <= 'f') {
            digit = c - 'a' + 10;
        } else {
            return false;
        }
        hash = hash << 4 | static_cast<uint64_t>(digit);
    }
    return true;
}

}  // namespace

uint64_t RecordHash(const uint8_t* bytes, int length) {
    // FNV-1a over the bytes and their number, then mixed so that records
    // differing in one byte differ in every bit of the hash.
    uint64_t hash = 14695981039346656037ULL ^ static_cast<uint64_t>(length);
    for (int i = 0; i < length; ++i) {
        hash ^= bytes[i];
        hash *= 1099511628211ULL;
    }
    hash ^= hash >> 30;
    hash *= 0xBF58476D1CE4E5B9ULL;
    hash ^= hash >> 27;
    hash *= 0x94D049BB133111EBULL;
    hash ^= hash >> 31;
    return hash;
}

int VerificationFile::OpenFor(int length, bool create) {
    if (file_.IsOpen() && length_ == length && (writable_ || !create)) return 0;
    Close();
    if (length <= 0) return EINVAL;
    // Only reading opens it for reading: the tools read a station's files
    // and never write them.
    int error =
        file_.Open(kVerificationFile, create ? ByteFile::Mode::ReadWrite : ByteFile::Mode::Read);
    if (error == 0) {
        char header[kLine] = {};
        std::size_t got = 0;
        error = file_.ReadAt(0, header, kLine, got);
        if (error == 0 && got == static_cast<std::size_t>(kLine) &&
            ReadHeader(header, length, sample_)) {
            length_ = length;
            writable_ = create;
            return 0;
        }
        file_.Close();
        if (!create) return error != 0 ? error : ENOENT;
    } else if (!create || error != ENOENT) {
        return error;
    }
    // None there, or one for other records: started anew, empty.
    sample_ = VerificationSample{};
    error = file_.Open(kVerificationFile, ByteFile::Mode::Create);
    const std::string header = HeaderLine(length);
    if (error == 0) error = file_.Write(header.data(), header.size());
    if (error != 0) {
        file_.Close();
        return error;
    }
    length_ = length;
    writable_ = true;
    return 0;
}

VerificationSample VerificationFile::Sample(int length) {
    if (OpenFor(length, false) != 0) return {};
    return sample_;
}

int VerificationFile::SetSample(int length, const VerificationSample& sample) {
    if (const int error = OpenFor(length, true)) return error;
    const std::string header = HeaderLine(length, sample);
    int error = file_.Seek(0);
    if (error == 0) error = file_.Write(header.data(), header.size());
    if (error == 0) error = file_.SyncData();
    if (error == 0) sample_ = sample.every > 1 ? sample : VerificationSample{};
    return error;
}

VerificationEntry VerificationFile::Entry(int64_t slot, int length) {
    VerificationEntry entry;
    if (slot < 0 || OpenFor(length, false) != 0) return entry;
    char line[kLine] = {};
    std::size_t got = 0;
    if (file_.ReadAt((slot + 1) * kLine, line, kLine, got) != 0 ||
        got != static_cast<std::size_t>(kLine) || line[kLine - 1] != '\n' ||
        line[kHashDigits] != ' ')
        return entry;
    entry.verified = ParseHash(line, entry.hash);
    entry.keyer = Trimmed(line + kHashDigits + 1, kNameWidth);
    entry.verifier = Trimmed(line + kHashDigits + 2 + kNameWidth, kNameWidth);
    return entry;
}

bool VerificationFile::IsVerified(int64_t slot, const uint8_t* bytes, int length) {
    const VerificationEntry entry = Entry(slot, length);
    return entry.verified && entry.hash == RecordHash(bytes, length);
}

int VerificationFile::WriteEntry(int64_t slot, const VerificationEntry& entry) {
    const std::string line = EntryLine(entry);
    int error = file_.Seek((slot + 1) * kLine);
    if (error == 0) error = file_.Write(line.data(), line.size());
    return error;
}

int VerificationFile::NoteKeyed(int64_t slot, int length, const std::string& login) {
    if (slot < 0) return EINVAL;
    if (const int error = OpenFor(length, true)) return error;
    VerificationEntry entry;
    entry.keyer = login;
    return WriteEntry(slot, entry);
}

int VerificationFile::NoteVerified(int64_t slot, const uint8_t* bytes, int length,
                                   const std::string& login) {
    if (slot < 0) return EINVAL;
    VerificationEntry entry = Entry(slot, length);
    if (const int error = OpenFor(length, true)) return error;
    entry.verified = true;
    entry.hash = RecordHash(bytes, length);
    entry.verifier = login;
    int error = WriteEntry(slot, entry);
    if (error == 0) error = file_.SyncData();
    if (error != 0) {
        // A mark not known to be on the disk is no mark: the record stays to
        // verify, as the operator was told.
        entry.verified = false;
        entry.verifier.clear();
        WriteEntry(slot, entry);
    }
    return error;
}

int VerificationFile::ForgetFrom(int64_t slot) {
    if (slot < 0) slot = 0;
    Close();
    ByteFile file;
    int error = file.Open(kVerificationFile, ByteFile::Mode::ReadWrite);
    if (error == ENOENT) return 0;  // nothing verified anywhere
    int64_t size = 0;
    if (error == 0) error = file.Size(size);
    const int64_t keep = (slot + 1) * kLine;
    if (error == 0 && size > keep) {
        if (::truncate(kVerificationFile, keep) != 0) error = errno;
        if (error == 0) error = file.SyncData();
    }
    file.Close();
    return error;
}

void VerificationFile::Erase() {
    Close();
    EraseFile(kVerificationFile);
}

void VerificationFile::Close() {
    file_.Close();
    length_ = 0;
    writable_ = false;
}
