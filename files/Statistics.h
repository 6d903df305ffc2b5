// Operator statistics: every time a record the operator worked on is stored,
// one line goes to KELBRIN4.STA in the working directory, so that a
// supervisor can work out keystrokes per hour and the verify error rate
// (kelbrin-stats does). The file is only ever appended to, and writing it never
// stops, slows or troubles keying: a failure is passed over in silence and
// the next record tries again.
//
// The file is UTF-8 text (in practice ASCII), tab-separated, with one header
// line when it is begun. Each line: time (ISO 8601, local, with its offset),
// login name, mode, record number, keystrokes, the numbers of the fields that
// failed the verify comparison (comma-separated, empty for none), Korrekturen.
//
// This header holds only the file's name and words, so that kelbrin-stats can
// share them without linking anything of the station.
#pragma once
#include <cstdint>
#include <string>

inline constexpr const char* kStatisticsFile = "KELBRIN4.STA";
inline constexpr const char* kStatisticsHeader =
    "Zeit\tBediener\tModus\tSatz\tAnschlaege\tAbweichende Felder\tKorrekturen";
inline constexpr const char* kStatisticsEntryMode = "Eingabe";
inline constexpr const char* kStatisticsVerifyMode = "Pruefen";

// A key typed into a field that put a character (or a sign) there.
// The name of the account the station runs under, as printable ASCII without
// blanks (anything else becomes '?'), so that every line splits cleanly at its
// tabs; the user number when the account has no name.
const std::string& LoginName();

void CountKeystroke(bool verifyMode);
// Field n failed the verify comparison; each field counts once per record.
void CountMismatch(int n, bool verifyMode);
// F8 took over a verify input.
void CountKorrektur(bool verifyMode);
// The record with this number was stored: when anything was counted since the
// last store, its line is appended to KELBRIN4.STA and the counts start anew.
// Never throws, never reports.
void CountRecordStored(int64_t recordNumber) noexcept;

// While one of these lives with `pasted` true, keys are not counted: pasted
// text was not typed.
class PastedKeys {
  public:
    explicit PastedKeys(bool pasted);
    ~PastedKeys();
    PastedKeys(const PastedKeys&) = delete;
    PastedKeys& operator=(const PastedKeys&) = delete;

  private:
    bool previous_;
};

void ResetStatistics();
