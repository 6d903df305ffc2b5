#include "core/InOutFailure.h"

#include <cerrno>
#include <cstdio>

#include "console/ConsoleScreen.h"
#include "platform/WindowSystem.h"

namespace {

// A short reason for the error numbers an operator is likely to meet.
const char* ReasonOf(int code) {
    switch (code) {
        case ENOSPC:
            return "kein Platz mehr auf dem Datenträger";
        case EACCES:
        case EPERM:
            return "Zugriff verweigert";
        case EROFS:
            return "Datenträger ist schreibgeschützt";
        case ENOENT:
            return "Datei nicht gefunden";
        case EIO:
            return "Lese- oder Schreibfehler des Datenträgers";
        case EDQUOT:
            return "Speicherkontingent erschöpft";
        default:
            return "Ein-/Ausgabefehler";
    }
}

}  // namespace

std::string InOutErrorText(int code) {
    return "Ein-/Ausgabefehler " + std::to_string(code) + ": " + ReasonOf(code) + ".";
}

void ReportInOutError(int code) {
    const std::string text = InOutErrorText(code);
    if (WindowSystem* host = BoundWindowSystem()) {
        host->MessageBox(kWindowCaption, text);
    } else {
        std::fprintf(stderr, "%s: %s\n", kWindowCaption, text.c_str());
    }
}
