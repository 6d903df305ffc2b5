// How an input/output failure reaches the operator: a message box with the
// system's error number and a short German reason. The operation that failed
// is abandoned by its caller; the station itself goes on.
#pragma once
#include <string>
#include <string_view>

#include "platform/ErrorText.h"

inline constexpr const char* kWindowCaption = "Kelbrin 4.9";

// Shows that text in the host's message box and waits until it is closed.
void ReportInOutError(int code);
void ReportInOutError(int code, std::string_view oemName);
