// What the system's error numbers mean, in the short German words the station
// shows its operators. The station's error box and the companion tools give
// the same reason for the same failure; the tools that link nothing of the
// station take it from this header alone.
#pragma once
#include <cerrno>

// The reason for `code` (UTF-8, no full stop); "Ein-/Ausgabefehler" for a
// number an operator is not likely to meet.
inline const char* ErrorReason(int code) {
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
        case EISDIR:
            return "ein Verzeichnis, keine Datei";
        case ENOTDIR:
            return "ein Teil des Pfades ist kein Verzeichnis";
        case ENAMETOOLONG:
            return "Name zu lang";
        case EFBIG:
            return "Datei zu groß";
        case ENOMEM:
            return "zu wenig Speicher";
        case EMFILE:
        case ENFILE:
            return "zu viele offene Dateien";
        case ELOOP:
            return "zu viele symbolische Links";
        case ENXIO:
            return "Gerät nicht bereit";
        case EPIPE:
            return "der Empfänger liest nicht mehr";
        default:
            return "Ein-/Ausgabefehler";
    }
}
