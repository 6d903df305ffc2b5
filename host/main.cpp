// kelbrin4: the station. Opens its window when a display is available and runs
// in the terminal otherwise.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "console/KeyTables.h"
#include "host/TForm1.h"
#include "host/tty/TerminalWindowSystem.h"
#ifdef KELBRIN_WITH_QT
#include "host/qt/QtHost.h"
#endif

namespace {

void PrintHelp() {
    std::puts(
        "Aufruf: kelbrin4 [--terminal] [--sample N]\n"
        "\n"
        "Kelbrin ist eine Erfassungsstation: Satzaufbau festlegen, Sätze erfassen\n"
        "und prüfen, Daten als Datei weitergeben (ASCII, ASCII-TAB, zwei\n"
        "EBCDIC-Formen) oder drucken.\n"
        "\n"
        "Die Station arbeitet im aktuellen Verzeichnis; der Starter kelbrin startet\n"
        "sie in ~/kelbrin (oder $KELBRIN_HOME). Sie öffnet ihr Fenster, wenn eine\n"
        "grafische Oberfläche da ist, und läuft sonst im Terminal.\n"
        "\n"
        "  --terminal   im Terminal laufen, auch wenn ein Fenster ginge\n"
        "  --sample N   beim Prüfen nur jeden N-ten Satz prüfen (eine Stichprobe\n"
        "               ab einem zufälligen Satz); 1: alle\n"
        "  -h, --help   diese Hilfe zeigen\n"
        "  --version    die Fassung zeigen\n"
        "\n"
        "Umgebung: KELBRIN_PRINTER  Datei oder Gerät für den Ausdruck (sonst lp)\n"
        "          ESCDELAY         im Terminal: Millisekunden nach Esc (Vorgabe 25)\n"
        "          KELBRIN_SAMPLE   wie --sample\n"
        "\n"
        "Mehr: man kelbrin4; Bedienungsanleitung: docs/bedienung.md");
}

bool HasDisplay() {
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x11 != nullptr && *x11 != '\0') || (wayland != nullptr && *wayland != '\0');
}

}  // namespace

int main(int argc, char** argv) {
    bool terminal = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "--help" || argument == "-h") {
            PrintHelp();
            return 0;
        }
        if (argument == "--version") {
            std::puts("Kelbrin 4.9");
            return 0;
        }
        if (argument == "--terminal") {
            terminal = true;
            continue;
        }
        if (argument == "--sample" || argument.starts_with("--sample=")) {
            std::string every;
            if (argument == "--sample") {
                if (++i == argc) {
                    std::fprintf(stderr, "kelbrin4: --sample ohne Zahl (Hilfe: kelbrin4 --help)\n");
                    return 2;
                }
                every = argv[i];
            } else {
                every = std::string(argument.substr(9));
            }
            const bool number = !every.empty() && every.size() <= 7 &&
                                every.find_first_not_of("0123456789") == std::string::npos &&
                                std::stol(every) >= 1;
            if (!number) {
                std::fprintf(stderr, "kelbrin4: --sample braucht eine Zahl ab 1: %s\n",
                             every.c_str());
                return 2;
            }
            // The station reads it where it verifies, as it reads the
            // environment's setting.
            ::setenv("KELBRIN_SAMPLE", every.c_str(), 1);
            continue;
        }
        std::fprintf(stderr, "kelbrin4: unbekannte Angabe: %s (Hilfe: kelbrin4 --help)\n", argv[i]);
        return 2;
    }

    // A closed pipe (a print spooler that went away) must give a write error,
    // not end the station.
    std::signal(SIGPIPE, SIG_IGN);
    // The key remapping tables are read once, before anything else.
    LoadKeyTables();

#ifdef KELBRIN_WITH_QT
    if (!terminal && HasDisplay()) {
        return RunQtHost(argc, argv, [](WindowSystem& windowSystem) {
            return std::make_unique<TForm1>(windowSystem);
        });
    }
#else
    (void)HasDisplay;
    (void)terminal;  // without the window the terminal is the only host
#endif
    TerminalWindowSystem windowSystem;
    TForm1 form(windowSystem);
    return RunTerminalHost(form, windowSystem);
}
