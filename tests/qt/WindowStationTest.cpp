// The real station in its window, on Qt's offscreen platform: its main job
// (lay out, key, verify, leave), and the layout journal's disk failing (the
// box comes up, the station takes keys again once it is closed, and the next
// change writes the layout). The station ends the process when the operator
// leaves, so each run happens in a child process and the files are checked
// afterwards.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QtTest/QTest>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "host/TForm1.h"
#include "host/qt/QtWindowSystem.h"
#include "host/qt/StationWindow.h"
#include "tests/kit/FaultInjection.h"
#include "tests/qt/QtTestApp.h"

namespace {

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

int JournalFieldCount(const std::filesystem::path& dir) {
    const std::string bytes = ReadFile(dir / "KELBRIN4.CR1");
    if (bytes.size() < 10) return -1;
    return static_cast<uint8_t>(bytes[8]) | (static_cast<uint8_t>(bytes[9]) << 8);
}

// The real station in its window, shown, in the working directory `dir`.
struct StationInWindow {
    explicit StationInWindow(const std::filesystem::path& dir) {
        std::filesystem::current_path(dir);
        windowSystem.Attach(&window);
        window.resize(1000, 700);
        window.show();
        if (!QTest::qWaitForWindowExposed(&window)) std::_Exit(10);
    }
    QApplication& app = TestApp();
    QtWindowSystem windowSystem;
    TForm1 form{windowSystem};
    StationWindow window{form, windowSystem};
};

// Runs in the child: the whole session, driven from a timer, step by step.
void OperatorWithAFailingDisk(const std::filesystem::path& dir) {
    StationInWindow station(dir);
    TForm1& form = station.form;
    StationWindow& window = station.window;

    int step = 0;
    QTimer driver;
    QObject::connect(&driver, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        switch (step) {
            case 0:  // the definition screen is up
                if (!form.StartGuard) return;
                InjectFault(FaultyCall::Write, "KELBRIN4.CR1", ENOSPC);
                QTest::keyClicks(&window.MainView(), "n10");
                QTest::keyClick(&window.MainView(), Qt::Key_Return);
                step = 1;
                return;
            case 1: {  // the box says why; OK closes it
                if (box == nullptr) return;
                auto* label = box->findChild<QLabel*>(QStringLiteral("message"));
                if (label == nullptr ||
                    label->text() !=
                        QStringLiteral(
                            "Ein-/Ausgabefehler 28: kein Platz mehr auf dem Datenträger."))
                    std::_Exit(11);
                if (JournalFieldCount(dir) != -1) std::_Exit(12);
                QTest::keyClick(box, Qt::Key_Return);
                step = 2;
                return;
            }
            case 2:  // the station takes keys again
                if (box != nullptr) return;
                QTest::keyClicks(&window.MainView(), "a+5");
                QTest::keyClick(&window.MainView(), Qt::Key_Return);
                step = 3;
                return;
            case 3:  // the change wrote both fields; leave
                if (JournalFieldCount(dir) != 2) return;
                QTest::keyClick(&window.MainView(), Qt::Key_F1);
                QTest::keyClicks(&window.MainView(), "n");
                step = 4;
                return;
            default:
                return;
        }
    });
    driver.start(10);
    QTest::mouseClick(&window.StartButton(), Qt::LeftButton);
    QTest::qWait(20000);  // the session ends the process long before
    std::_Exit(13 + step);
}

// Runs in the child: the station's main job, typed into the window all at
// once (keys wait in order until the station reads them).
void OperatorKeyingAndVerifying(const std::filesystem::path& dir) {
    StationInWindow station(dir);
    StationWindow& window = station.window;
    QWidget* view = &window.MainView();
    auto type = [view](const QString& text) {
        for (QChar c : text) {
            if (c == QLatin1Char('\r')) {
                QTest::keyClick(view, Qt::Key_Return);
            } else {
                QTest::keyClicks(view, QString(c));
            }
        }
    };
    QTimer::singleShot(0, [&] {
        type(QStringLiteral("a4\rn+3\re+2\r"));
        QTest::keyClick(view, Qt::Key_F9);
        type(QStringLiteral("abcd12\refgh7\rijkl345"));
        QTest::keyClick(view, Qt::Key_F9);
        QTest::keyClick(view, Qt::Key_Home);
        type(QStringLiteral("abcd12efgh7ijkl345"));
        QTest::keyClick(view, Qt::Key_F1);
        type(QStringLiteral("n"));
    });
    QTest::mouseClick(&window.StartButton(), Qt::LeftButton);
    QTest::qWait(20000);  // the station ends the process long before
    std::_Exit(13);
}

}  // namespace

TEST(WindowDeathTest, LayOutKeyVerifyAndLeave) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const std::filesystem::path dir =
        std::filesystem::path(testing::TempDir()) / "kelbrin_window_keying";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    EXPECT_EXIT(OperatorKeyingAndVerifying(dir), testing::ExitedWithCode(0), "");
    EXPECT_EQ(ReadFile(dir / "KELBRIN4.CR2").substr(0, 27), "abcd 12\r\nefgh  7\r\nijkl345\r\n");
    std::filesystem::remove_all(dir);
}

TEST(WindowFailureDeathTest, AFailingJournalWriteIsShownAndTheWindowGoesOn) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const std::filesystem::path dir =
        std::filesystem::path(testing::TempDir()) / "kelbrin_window_failure";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    EXPECT_EXIT(OperatorWithAFailingDisk(dir), testing::ExitedWithCode(0), "");
    EXPECT_EQ(JournalFieldCount(dir), 2);
    std::filesystem::remove_all(dir);
}
