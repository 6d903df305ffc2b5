// The window as an operator uses it, on Qt's offscreen platform, with a small
// stand-in station: Start, keys in order while the station is busy, program-key
// buttons, clicks, paste and copy, close and Stop, the message box, and the
// screen's size following the window.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QDeadlineTimer>
#include <QDialog>
#include <QFontInfo>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QtTest/QTest>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <functional>
#include <string>

#include "host/qt/QtHost.h"
#include "host/qt/QtWindowSystem.h"
#include "host/qt/StationWindow.h"
#include "platform/CodePage.h"
#include "tests/qt/QtTestApp.h"
#include "tests/qt/demo/EchoStation.h"

namespace {

bool WaitFor(const std::function<bool()>& done, int milliseconds = 5000) {
    QDeadlineTimer deadline(milliseconds);
    while (!done()) {
        if (deadline.hasExpired()) return false;
        QTest::qWait(5);
    }
    return true;
}

class StationWindowTest : public ::testing::Test {
  protected:
    StationWindowTest() {
        station.endsProcess = false;
        windowSystem.Attach(&window);
        window.resize(1000, 700);
        window.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
    }
    ~StationWindowTest() override { windowSystem.Attach(nullptr); }

    // Presses Start; `operatorActions` runs inside the session when it first
    // waits for a key and must end with Esc, which ends the session. A timer
    // ends a session that hangs, so a lost key fails the test instead.
    void RunSession(const std::function<void()>& operatorActions,
                    const std::function<void()>& rightAfterStart = {}) {
        station.onFirstRead = [&] {
            QTimer::singleShot(8000, &window, [this] { Type(Qt::Key_Escape); });
            operatorActions();
        };
        QTest::mouseClick(&window.StartButton(), Qt::LeftButton);
        if (rightAfterStart) rightAfterStart();
        ASSERT_TRUE(WaitFor([&] { return station.SessionEnded(); }, 10000));
    }

    void Type(const QString& text) { QTest::keyClicks(&window.MainView(), text); }
    void Type(Qt::Key key) { QTest::keyClick(&window.MainView(), key); }

    QPoint CellPoint(int x, int y) const {
        return window.MainView().CellRect(x - 1, y - 2).center();
    }

    std::string Chars() const {
        std::string chars;
        for (const auto& key : station.Keys()) {
            chars += key.keyChar != 0 ? static_cast<char>(key.keyChar) : '#';
        }
        return chars;
    }

    QApplication& app = TestApp();
    QtWindowSystem windowSystem;
    EchoStation station{windowSystem};
    StationWindow window{station, windowSystem};
};

TEST_F(StationWindowTest, StartRunsTheSessionAndKeysArriveInOrderWhileTheStationIsBusy) {
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Kelbrin 4.9"));
    EXPECT_EQ(station.MainAreaControl().LineText(1), U"Bitte auf Start klicken !");
    station.busyPumps = 3;
    RunSession(
        [&] {
            EXPECT_TRUE(station.SessionRunning());
            EXPECT_NE(station.MainAreaControl().LineText(19).find(U"Eingabe"),
                      std::u32string::npos);
            Type("c d");
            Type(Qt::Key_Tab);  // a key of the station, not a move to the next widget
            QTest::mouseClick(&window.ProgramKeyButton(10), Qt::LeftButton);
            Type("e");
            Type(Qt::Key_Escape);
        },
        [&] { Type("ab"); });  // typed before the session has even begun

    EXPECT_EQ(Chars(), "abc d\t#e\x1b");
    ASSERT_EQ(station.Keys().size(), 9u);
    EXPECT_EQ(station.Keys()[6].scanCode, 0x82);
    EXPECT_EQ(station.MainAreaControl().LineText(19).substr(13, 6), U"abc de");
    EXPECT_TRUE(window.MainView().hasFocus());
    EXPECT_EQ(station.StartCalls(), 1);
}

TEST_F(StationWindowTest, KeysBeforeStartDoNotReachTheStation) {
    Type("xy");
    RunSession([&] { Type(Qt::Key_Escape); });
    EXPECT_EQ(Chars(), "\x1b");
}

TEST_F(StationWindowTest, ProgramKeyButtonsDeliverTheirCodesAndShowTheirCaptions) {
    RunSession([&] {
        EXPECT_EQ(window.ProgramKeyButton(0).text(), QStringLiteral("P1"));
        EXPECT_EQ(window.ProgramKeyButton(10).text(), QStringLiteral("Pß"));
        EXPECT_EQ(window.ProgramKeyButton(11).text(), QStringLiteral("P´"));
        for (int index : {0, 9, 10, 11}) {
            QTest::mouseClick(&window.ProgramKeyButton(index), Qt::LeftButton);
        }
        // Only a left click is a program key.
        QTest::mouseClick(&window.ProgramKeyButton(1), Qt::RightButton);
        QTest::mouseClick(&window.ProgramKeyButton(1), Qt::MiddleButton);
        Type(Qt::Key_Escape);
    });
    ASSERT_EQ(station.Keys().size(), 5u);
    EXPECT_EQ(station.Keys()[0].scanCode, 0x78);
    EXPECT_EQ(station.Keys()[1].scanCode, 0x81);
    EXPECT_EQ(station.Keys()[2].scanCode, 0x82);
    EXPECT_EQ(station.Keys()[3].scanCode, 0x83);
}

TEST_F(StationWindowTest, RightClickPastesAndDraggingCopies) {
    RunSession([&] {
        QGuiApplication::clipboard()->setText(QStringLiteral("12\r\n"));
        QTest::mouseClick(&window.MainView(), Qt::RightButton, {}, CellPoint(20, 10));
        // Row 3 begins "Eingabemaske" at column 3.
        QTest::mousePress(&window.MainView(), Qt::LeftButton, {}, CellPoint(3, 3));
        QTest::mouseMove(&window.MainView(), CellPoint(6, 3));
        QTest::mouseMove(&window.MainView(), CellPoint(8, 3));
        QTest::mouseRelease(&window.MainView(), Qt::LeftButton, {}, CellPoint(8, 3));
        Type(Qt::Key_Escape);
    });
    EXPECT_EQ(Chars(), "12\x1b");
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("Eingab"));
}

TEST_F(StationWindowTest, TheScreenShowsItsGroundsAndTheCursor) {
    RunSession([&] {
        window.SyncScreens();
        const QImage main = window.MainView().grab().toImage();
        const QImage status = window.StatusView().grab().toImage();
        EXPECT_EQ(main.pixelColor(1, 1), QColor(0x00, 0x00, 0xCC));
        EXPECT_EQ(status.pixelColor(1, 1), QColor(0xC0, 0xC0, 0xC0));
        // The cursor waits in the black, underlined input field at (14, 21).
        const QRect cursor = window.MainView().CellRect(13, 19);
        EXPECT_EQ(main.pixelColor(cursor.topLeft() + QPoint(1, 1)), QColor(Qt::black));
        const QRect next = window.MainView().CellRect(14, 19);
        EXPECT_EQ(main.pixelColor(next.topLeft() + QPoint(1, 1)), QColor(0x00, 0x00, 0xCC));
        Type(Qt::Key_Escape);
    });
}

TEST_F(StationWindowTest, CloseAndStopGoToTheStation) {
    window.close();
    EXPECT_EQ(station.CloseCalls(), 1);
    EXPECT_TRUE(window.isVisible()) << "the station decides whether the window goes";
    QTest::mouseClick(&window.StopButton(), Qt::LeftButton);
    EXPECT_EQ(station.StopCalls(), 1);

    RunSession([&] {
        window.close();
        QTest::mouseClick(&window.StopButton(), Qt::LeftButton);
        Type(Qt::Key_Escape);
    });
    EXPECT_EQ(station.CloseCalls(), 2);
    EXPECT_EQ(station.StopCalls(), 2);
}

TEST_F(StationWindowTest, MessagesShowInAFixedPitchFontWithTabsLinedUp) {
    QString caption, text;
    bool fixedPitch = false;
    bool wraps = true;
    RunSession([&] {
        // Answers the box once it is up (it runs its own event loop).
        auto* poll = new QTimer(&window);
        QObject::connect(poll, &QTimer::timeout, poll, [&, poll] {
            auto* box = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (box == nullptr) return;
            caption = box->windowTitle();
            if (auto* label = box->findChild<QLabel*>(QStringLiteral("message"))) {
                text = label->text();
                fixedPitch = QFontInfo(label->font()).fixedPitch();
                wraps = label->wordWrap();
            }
            QTest::keyClick(box, Qt::Key_Return);  // OK
            poll->deleteLater();
        });
        poll->start(10);
        Type(Qt::Key_F1);
        Type(Qt::Key_Escape);
    });
    EXPECT_EQ(caption, QStringLiteral("Feldtypen"));
    EXPECT_TRUE(text.startsWith(QStringLiteral("A       Alphanumerisch  linksbündig\nN       ")));
    EXPECT_TRUE(fixedPitch);
    EXPECT_FALSE(wraps);
    EXPECT_EQ(Chars(), "#\x1b");
}

TEST_F(StationWindowTest, TheScreenGrowsWithTheWindowInStepsAndStaysCentred) {
    window.resize(1600, 1000);
    QTest::qWait(20);
    const int designFont = window.FontPixelSize();
    RunSession([&] {
        const int width = window.frameGeometry().width();
        EXPECT_EQ(windowSystem.MainControlWidth(),
                  static_cast<int>(std::lround(1043 * StepScale(width))));
        EXPECT_GT(window.FontPixelSize(), designFont);
        QCoreApplication::processEvents();
        const QPoint centre = window.MainView().mapTo(&window, window.MainView().rect().center());
        EXPECT_LE(std::abs(centre.x() - window.width() / 2), 1);

        window.resize(900, 700);
        QTest::qWait(20);
        EXPECT_DOUBLE_EQ(window.ScreenScale(), StepScale(900));
        EXPECT_EQ(window.FontPixelSize(), static_cast<int>(std::lround(16 * StepScale(900))));

        // A wide, low window: the font stops where all 25 rows still fit.
        window.resize(1920, 600);
        QTest::qWait(20);
        const QWidget& legend = window.LegendView();
        EXPECT_LE(legend.mapTo(&window, QPoint(0, legend.height())).y(), 600);
        EXPECT_LT(window.FontPixelSize(), static_cast<int>(std::lround(16 * StepScale(1920))));
        Type(Qt::Key_Escape);
    });
}

TEST_F(StationWindowTest, TheInformationBarSitsUnderTheScreenAndGrowsWithIt) {
    const QLabel& bar = window.InfoBar();
    const ScreenView& legend = window.LegendView();
    auto expectUnderTheScreen = [&] {
        QTest::qWait(20);
        EXPECT_EQ(bar.mapTo(&window, QPoint()), legend.mapTo(&window, QPoint(0, legend.height())));
        EXPECT_EQ(bar.size(), legend.size());  // also when empty: the screen never moves
        EXPECT_EQ(bar.font().pixelSize(), window.FontPixelSize());
    };
    expectUnderTheScreen();
    RunSession([&] {
        Type(Qt::Key_F3);
        Type(Qt::Key_Escape);
    });
    EXPECT_EQ(bar.text(), QStringLiteral("Feld 3: Pr\u00FCfziffer falsch"));
    window.SetScreenScale(1.4);
    expectUnderTheScreen();
}

TEST(StationIcon, IsCompiledIntoTheProgram) {
    TestApp();
    const QIcon icon = StationIcon();
    ASSERT_FALSE(icon.isNull());
    EXPECT_FALSE(icon.pixmap(48, 48).isNull());
}

TEST(ScreenSteps, TheScreenGrowsInStepsOfAThirteenth) {
    EXPECT_EQ(StepScale(800), 1.0);
    EXPECT_EQ(StepScale(861), 1.0);
    EXPECT_DOUBLE_EQ(StepScale(862), 14.499999 / 13);
    EXPECT_DOUBLE_EQ(StepScale(1920), 31.499999 / 13);
    EXPECT_DOUBLE_EQ(StepScale(700), 11.499999 / 13);
}

TEST(MessageText, LineBreaksAndTabsAsShown) {
    EXPECT_EQ(PlainMessageText(QStringLiteral("A\tB\r\nCCCCCCCC\tD\rE")),
              QStringLiteral("A       B\nCCCCCCCC        D\nE"));
}

TEST(QtWindowSystemDeathTest, EndProcessFlushesOpenStreamsAndEndsWithTheCode) {
    const std::string path = testing::TempDir() + "kelbrin_end_process.txt";
    std::remove(path.c_str());
    EXPECT_EXIT(
        {
            std::FILE* file = std::fopen(path.c_str(), "w");
            std::fputs("gesichert", file);
            QtWindowSystem windowSystem;
            windowSystem.EndProcess(3);
        },
        testing::ExitedWithCode(3), "");
    std::ifstream written(path);
    std::string text;
    std::getline(written, text);
    EXPECT_EQ(text, "gesichert");
    std::remove(path.c_str());
}

}  // namespace
