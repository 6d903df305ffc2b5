// The real station in its window, on Qt's offscreen platform: its main job
// (lay out, key, verify, leave), the layout journal's disk failing (the box
// comes up, the station takes keys again once it is closed, and the next
// change writes the layout), and the mouse: each button on each area and on
// Start and Stop, copy, paste. The station ends the process when the operator
// leaves, so each run happens in a child process and the files are checked
// afterwards.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QtTest/QTest>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <vector>

#include "console/ConsoleKeyboard.h"
#include "console/ConsoleScreen.h"
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

// An operator at the real station: steps that each run once the station waits
// for input with nothing left in the window's queue, and a report of what the
// operator could see after each action, written line by line to `report`
// (the station ends the process, so the parent reads it afterwards).
class OperatorAtTheWindow {
  public:
    OperatorAtTheWindow(const std::filesystem::path& dir)
        : station_(dir), report_(dir / "report.txt") {}

    void Step(std::function<void()> step) { steps_.push_back(std::move(step)); }

    // Presses Start with `button` and runs the steps; the last one must end
    // the station (the child's exit code tells how far it came otherwise).
    [[noreturn]] void Run(Qt::MouseButton button) {
        std::size_t next = 0;
        QTimer driver;
        QObject::connect(&driver, &QTimer::timeout, [&] {
            if (next >= steps_.size() || !station_.form.StartGuard ||
                station_.window.Queue().Size() != 0 || KeyQueue.KeyAvailable ||
                QApplication::activeModalWidget() != nullptr) {
                return;
            }
            steps_[next++]();
        });
        driver.start(10);
        // The session runs nested in the event loop: a station that does not
        // end is ended from a timer there.
        QTimer::singleShot(10000, [&] { std::_Exit(20 + static_cast<int>(next)); });
        QTest::mouseClick(&station_.window.StartButton(), button);
        QTest::qWait(20000);
        std::_Exit(19);
    }

    StationWindow& Window() { return station_.window; }
    void Type(const QString& text) {
        for (QChar c : text) {
            if (c == QLatin1Char('\r')) {
                QTest::keyClick(&Window().MainView(), Qt::Key_Return);
            } else {
                QTest::keyClicks(&Window().MainView(), QString(c));
            }
        }
    }
    void Key(Qt::Key key) { QTest::keyClick(&Window().MainView(), key); }
    QPoint MainCell(int x, int y) { return Window().MainView().CellRect(x - 1, y - 2).center(); }
    void ClickMain(Qt::MouseButton button, int x, int y) {
        QTest::mouseClick(&Window().MainView(), button, {}, MainCell(x, y));
    }
    void ClickLine(ScreenView& line, Qt::MouseButton button) {
        QTest::mouseClick(&line, button, {}, line.CellRect(39, 0).center());
    }

    // The console's cursor, the cell the window shows as the cursor, and the
    // clipboard.
    std::string State() {
        const TForm1& form = station_.form;
        int x = 0, y = 0;
        if (form.RichEdit1.Focused()) {
            const int s = form.RichEdit1.SelectionStart();
            x = s % kMainLineStride + 1;
            y = s / kMainLineStride + 2;
        } else if (form.RichEdit2.Focused() || form.RichEdit3.Focused()) {
            const RichEdit& line = form.RichEdit2.Focused() ? form.RichEdit2 : form.RichEdit3;
            x = line.SelectionStart() + 1;
            y = &line == &form.RichEdit2 ? 1 : kScreenRows;
        }
        QString clipboard = QGuiApplication::clipboard()->text();
        clipboard.replace(QLatin1Char('\r'), QStringLiteral("\\r"));
        clipboard.replace(QLatin1Char('\n'), QStringLiteral("\\n"));
        return "cursor " + std::to_string(CursorX) + ',' + std::to_string(CursorY) + " shown " +
               std::to_string(x) + ',' + std::to_string(y) + " clipboard " +
               clipboard.toStdString();
    }
    void Note(const std::string& what) { report_ << what << ": " << State() << std::endl; }

  private:
    StationInWindow station_;
    std::ofstream report_;
    std::vector<std::function<void()>> steps_;
};

// Runs in the child: clicks of every mouse button on every area that the
// station gives no meaning to, on the first screen and while keying.
void OperatorClickingAround(const std::filesystem::path& dir) {
    OperatorAtTheWindow op(dir);
    StationWindow& window = op.Window();
    // Every click that changes what the operator sees is reported.
    auto clickEverywhere = [&](const std::string& where) {
        const std::string before = op.State();
        auto check = [&](const std::string& click) {
            if (op.State() != before) op.Note(where + ", after " + click);
        };
        op.ClickMain(Qt::MiddleButton, 40, 12);
        check("middle on main");
        op.ClickMain(Qt::RightButton, 40, 12);
        check("right on main");
        for (auto [name, line] : {std::pair{"status", &window.StatusView()},
                                  std::pair{"legend", &window.LegendView()}}) {
            for (auto [button, label] :
                 {std::pair{Qt::LeftButton, "left"}, std::pair{Qt::MiddleButton, "middle"},
                  std::pair{Qt::RightButton, "right"}}) {
                op.ClickLine(*line, button);
                check(std::string(label) + " on " + name);
            }
        }
    };
    op.Step([&] {
        QGuiApplication::clipboard()->setText(QStringLiteral("vorher"));
        op.Note("definition");
        clickEverywhere("definition");
        op.Type(QStringLiteral("a4\rn+3\re+2\r"));
        op.Key(Qt::Key_F9);
    });
    op.Step([&] { op.Type(QStringLiteral("ab")); });
    op.Step([&] {
        QGuiApplication::clipboard()->clear();
        op.Note("entry");
        clickEverywhere("entry");
        op.Type(QStringLiteral("c"));
    });
    op.Step([&] {
        op.Note("keyed");
        QTest::mouseClick(&window.StopButton(), Qt::RightButton);
    });
    op.Run(Qt::RightButton);
}

// Runs in the child: a drag copies, a click moves the cursor, a right click
// pastes, and Stop keeps the record.
void OperatorCopyingAndPasting(const std::filesystem::path& dir) {
    OperatorAtTheWindow op(dir);
    StationWindow& window = op.Window();
    op.Step([&] {
        op.Type(QStringLiteral("a4\rn+3\re+2\r"));
        op.Key(Qt::Key_F9);
    });
    op.Step([&] { op.Type(QStringLiteral("abcd")); });
    op.Step([&] {
        QGuiApplication::clipboard()->setText(QStringLiteral("vorher"));
        op.Note("keyed");
        QTest::mousePress(&window.MainView(), Qt::LeftButton, {}, op.MainCell(3, 2));
        QTest::mouseMove(&window.MainView(), op.MainCell(2, 2));
        QTest::mouseMove(&window.MainView(), op.MainCell(1, 2));
        QTest::mouseRelease(&window.MainView(), Qt::LeftButton, {}, op.MainCell(1, 2));
        op.Note("dragged");
        op.ClickMain(Qt::LeftButton, 6, 2);
        op.Note("clicked");
        QGuiApplication::clipboard()->setText(QStringLiteral("12\r\n"));
        op.ClickMain(Qt::RightButton, 40, 12);
        op.Note("pasted");
        QTest::mouseClick(&window.StopButton(), Qt::MiddleButton);
    });
    op.Run(Qt::LeftButton);
}

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
// once, right after Start (keys wait in order until the station reads them).
void OperatorKeyingAndVerifying(const std::filesystem::path& dir) {
    OperatorAtTheWindow op(dir);
    QTimer::singleShot(0, [&] {
        op.Type(QStringLiteral("a4\rn+3\re+2\r"));
        op.Key(Qt::Key_F9);
        op.Type(QStringLiteral("abcd12\refgh7\rijkl345"));
        op.Key(Qt::Key_F9);
        op.Key(Qt::Key_Home);
        op.Type(QStringLiteral("abcd12efgh7ijkl345"));
        op.Key(Qt::Key_F1);
        op.Type(QStringLiteral("n"));
    });
    op.Run(Qt::LeftButton);
}

// An empty working directory of its own for a test.
std::filesystem::path FreshDir(const char* name) {
    const std::filesystem::path dir = std::filesystem::path(testing::TempDir()) / name;
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

}  // namespace

TEST(WindowDeathTest, LayOutKeyVerifyAndLeave) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const std::filesystem::path dir = FreshDir("kelbrin_window_keying");
    EXPECT_EXIT(OperatorKeyingAndVerifying(dir), testing::ExitedWithCode(0), "");
    EXPECT_EQ(ReadFile(dir / "KELBRIN4.CR2").substr(0, 27), "abcd 12\r\nefgh  7\r\nijkl345\r\n");
    std::filesystem::remove_all(dir);
}

TEST(WindowFailureDeathTest, AFailingJournalWriteIsShownAndTheWindowGoesOn) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const std::filesystem::path dir = FreshDir("kelbrin_window_failure");
    EXPECT_EXIT(OperatorWithAFailingDisk(dir), testing::ExitedWithCode(0), "");
    EXPECT_EQ(JournalFieldCount(dir), 2);
    std::filesystem::remove_all(dir);
}

TEST(WindowClicksDeathTest, ClicksWithoutMeaningMoveNoCursorAndCopyNothing) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const std::filesystem::path dir = FreshDir("kelbrin_window_clicks");
    // Started with the right button, stopped with the right button.
    EXPECT_EXIT(OperatorClickingAround(dir), testing::ExitedWithCode(0), "");
    EXPECT_EQ(ReadFile(dir / "report.txt"),
              "definition: cursor 1,2 shown 1,2 clipboard vorher\n"
              "entry: cursor 3,2 shown 3,2 clipboard \n"
              "keyed: cursor 4,2 shown 4,2 clipboard \n");
    EXPECT_EQ(ReadFile(dir / "KELBRIN4.CR2"), std::string("abc \0\0\0\r\n", 9));
    std::filesystem::remove_all(dir);
}

TEST(WindowClicksDeathTest, DragCopiesClickMovesRightClickPastesAndStopKeeps) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const std::filesystem::path dir = FreshDir("kelbrin_window_copy");
    // Stopped with the middle button.
    EXPECT_EXIT(OperatorCopyingAndPasting(dir), testing::ExitedWithCode(0), "");
    // The drag from the third cell back to the first copies them and puts the
    // cursor on the first; the paste keys "12" into the number where the
    // click put the cursor.
    EXPECT_EQ(ReadFile(dir / "report.txt"),
              "keyed: cursor 5,2 shown 5,2 clipboard vorher\n"
              "dragged: cursor 1,2 shown 1,2 clipboard abc\n"
              "clicked: cursor 6,2 shown 6,2 clipboard abc\n"
              "pasted: cursor 8,2 shown 8,2 clipboard 12\\r\\n\n");
    EXPECT_EQ(ReadFile(dir / "KELBRIN4.CR2"), "abcd 12\r\n");
    std::filesystem::remove_all(dir);
}
