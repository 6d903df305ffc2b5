// Power failures in the middle of record work: a child process stores, edits,
// inserts and deletes records through the record operations and is killed at
// random moments. After each kill the record file must hold every record whose
// operation had returned, exactly once and intact: the state before the
// operation in flight or the state after it, never a mix.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "screens/Journal.h"
#include "screens/OperatorRecord.h"
#include "screens/Session.h"
#include "model/FieldModel.h"
#include "model/FieldTypes.h"
#include "tests/kit/TempDir.h"

namespace {

constexpr int kLength = 6;
const std::string kEmpty(kLength, '\0');

// What the child tells the parent, before and after each operation.
struct Report {
    char phase;  // 'B' begun, 'D' done
    char op;     // 'a' append, 'e' edit, 'i' insert, 'd' delete
    int32_t slot;
    char text[kLength];
};

using Slots = std::vector<std::string>;

int LastFilled(const Slots& slots) {
    for (int i = static_cast<int>(slots.size()) - 1; i >= 0; --i) {
        if (slots[static_cast<std::size_t>(i)] != kEmpty) return i;
    }
    return -1;
}

// The record operations' effect, worked out independently of them.
void Apply(Slots& slots, const Report& r) {
    const auto at = static_cast<std::size_t>(r.slot);
    const std::string text(r.text, kLength);
    switch (r.op) {
        case 'a':
        case 'e':
            if (at >= slots.size()) slots.resize(at + 1, kEmpty);
            slots[at] = text;
            break;
        case 'i':
            if (at < slots.size()) slots.insert(slots.begin() + r.slot, kEmpty);
            break;
        case 'd': {
            const int last = LastFilled(slots);
            if (r.slot > last) break;
            slots.erase(slots.begin() + r.slot);
            slots.insert(slots.begin() + last, kEmpty);
            break;
        }
    }
}

Slots ReadSlots(const TempDir& dir) {
    const std::string bytes = dir.Exists(kRecordJournal) ? dir.Read(kRecordJournal) : "";
    Slots slots;
    for (std::size_t at = 0; at + kLength <= bytes.size(); at += kLength) {
        slots.push_back(bytes.substr(at, kLength));
    }
    return slots;
}

void Send(int fd, char phase, char op, int slot, const std::string& text) {
    Report r{phase, op, slot, {}};
    std::memcpy(r.text, text.data(), kLength);
    if (::write(fd, &r, sizeof r) != static_cast<ssize_t>(sizeof r)) ::_exit(3);
}

// The child: record work at random until it is killed.
[[noreturn]] void Work(int fd, unsigned seed, int serial) {
    StoredRecords.File().Close();
    if (StoredRecords.File().Open(kRecordJournal, ByteFile::Mode::ReadWrite) != 0 &&
        StoredRecords.File().Open(kRecordJournal, ByteFile::Mode::Create) != 0) {
        ::_exit(2);
    }
    ResetRecordStore();
    std::mt19937 random(seed);
    for (;;) {
        int64_t size = 0;
        StoredRecords.File().Size(size);
        const int slots = static_cast<int>(size / kLength);
        const int choice = static_cast<int>(random() % 10);
        char text[16];
        std::snprintf(text, sizeof text, "%06d", serial++ % 1000000);
        if (choice < 4 || slots == 0) {
            LastRecord(false);
            if (!IsEmptyRecord(WorkRecord)) NextRecord(false);
            Send(fd, 'B', 'a', static_cast<int>(StoredRecords.Position() / kLength), text);
            std::memcpy(WorkRecord.data(), text, kLength);
            NoteRecordKeyed();
            if (!CommitRecord(true)) ::_exit(4);
        } else {
            const int slot = static_cast<int>(random() % static_cast<unsigned>(slots));
            OpenRecordAt(static_cast<int64_t>(slot) * kLength, false);
            const char op = choice < 6 ? 'e' : choice < 8 ? 'i' : 'd';
            Send(fd, 'B', op, slot, text);
            if (op == 'e') {
                std::memcpy(WorkRecord.data(), text, kLength);
                NoteRecordKeyed();
                if (!CommitRecord(true)) ::_exit(4);
            } else if (op == 'i') {
                InsertRecord();
            } else {
                DeleteRecord();
            }
        }
        Send(fd, 'D', 0, 0, std::string(kLength, ' '));
    }
}

}  // namespace

TEST(RecordCrash, EveryReturnedRecordSurvivesAKillExactlyOnce) {
    TempDir dir;
    ResetFieldModel();
    FillFieldTypeTable();
    Mode = ModeEntry;
    FieldCount = 2;
    FieldTable[1] = FieldDef{1, 1, 4, 'A', 1, 0};
    FieldTable[2] = FieldDef{5, 5, 2, 'A', 1, 0};

    std::mt19937 random(20261209);
    Slots model;
    int serial = 0;
    int kills = 0, inFlight = 0;
    for (int round = 0; round < 220; ++round) {
        int pipeFds[2];
        ASSERT_EQ(::pipe(pipeFds), 0);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::close(pipeFds[0]);
            Work(pipeFds[1], static_cast<unsigned>(random()), serial);
        }
        ::close(pipeFds[1]);
        ::usleep(static_cast<useconds_t>(random() % 15000));
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the child stopped by itself: " << status;
        ++kills;

        // Everything the child reported, in order.
        std::vector<Report> reports;
        Report r{};
        while (::read(pipeFds[0], &r, sizeof r) == static_cast<ssize_t>(sizeof r)) {
            reports.push_back(r);
        }
        ::close(pipeFds[0]);
        const Report* pending = nullptr;
        for (const Report& report : reports) {
            if (report.phase == 'B') {
                pending = &report;
                ++serial;
            } else if (pending != nullptr) {
                Apply(model, *pending);
                pending = nullptr;
            }
        }
        const Slots found = ReadSlots(dir);
        if (found == model) continue;
        ASSERT_NE(pending, nullptr) << "round " << round << ": records lost or doubled";
        Slots after = model;
        Apply(after, *pending);
        ASSERT_EQ(found, after) << "round " << round << ": a half-done " << pending->op;
        model = after;
        ++inFlight;
    }
    EXPECT_GE(kills, 200);
    StoredRecords.File().Close();
    ResetFieldModel();
    Mode = ModeDefinition;
    std::printf("%d kills, %d caught in the middle of an operation, %zu records at the end\n",
                kills, inFlight, model.size());
}
