#include "platform/ErrorText.h"

#include <cerrno>

#include "platform/CodePage.h"
#include "platform/ErrorReason.h"

std::string InOutErrorText(int code) {
    return "Ein-/Ausgabefehler " + std::to_string(code) + ": " + ErrorReason(code) + ".";
}

std::string InOutErrorText(int code, std::string_view oemName) {
    const std::string name = OemToUtf8(ShownName(oemName));
    const std::string number = "Ein-/Ausgabefehler " + std::to_string(code) + ": ";
    // A directory, a FIFO or a device is refused with EISDIR or EINVAL, whose
    // reasons alone would not tell the operator what is wrong with the file.
    if (code == EISDIR || code == EINVAL) {
        const std::string kind = FileKindText(KindOfFile(NativePath(oemName)));
        if (!kind.empty()) return number + name + " ist " + kind + ".";
    }
    return number + ErrorReason(code) + " (" + name + ").";
}

std::string FileKindText(FileKind kind) {
    switch (kind) {
        case FileKind::Directory:
            return "ein Verzeichnis";
        case FileKind::Pipe:
            return "eine Pipe, keine gewöhnliche Datei";
        case FileKind::Device:
            return "ein Gerät, keine gewöhnliche Datei";
        case FileKind::Other:
            return "keine gewöhnliche Datei";
        case FileKind::Missing:
        case FileKind::Regular:
            break;
    }
    return {};
}
