// How an input/output failure reaches the operator: a message box with the
// system's error number and a short German reason. The operation that failed
// is abandoned by its caller; the station itself goes on.
#pragma once
#include <string>

inline constexpr const char* kWindowCaption = "Kelbrin 4.9";

// "Ein-/Ausgabefehler 28: kein Platz mehr auf dem Datenträger." (UTF-8)
std::string InOutErrorText(int code);
// Shows that text in the host's message box and waits until it is closed.
void ReportInOutError(int code);
