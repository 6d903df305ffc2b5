// The terminal host over plain pipes, with a form that records what reaches
// it: the order of keys, what may happen inside a delivery, clicks, pastes,
// the message box, Stop and hang-up.
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "console/WinCrt.h"
#include "host/tty/TerminalWindowSystem.h"
#include "platform/CodePage.h"
#include "tests/tty/VtScreen.h"

namespace {

class RecordingForm : public HostEvents {
  public:
    RichEdit& StatusControl() override { return status; }
    RichEdit& MainAreaControl() override { return main; }
    RichEdit& LegendControl() override { return legend; }
    void StartDown() override {}
    void StopDown() override { calls.push_back("Stop"); }
    void FormClose() override { calls.push_back("Close"); }
    void KeyDown(uint16_t virtualKey, ShiftState shift, char32_t character) override {
        if (KeyQueue.KeyAvailable) calls.push_back("LOST");
        std::string text = "Key ";
        AppendUtf8(text, character >= 0x20 ? character : U'?');
        calls.push_back(text + " " + std::to_string(virtualKey) + "/" + std::to_string(shift));
        DeliverKey(virtualKey, shift, character == 0 ? 0 : UnicodeToOem(character));
    }
    void KeyPress(char32_t) override { calls.push_back("Press"); }
    void SelectCell(int x, int y) override {
        calls.push_back("Select " + std::to_string(x) + "," + std::to_string(y));
    }
    void MouseDown(MouseButton button) override {
        calls.push_back(std::string("Down ") + Name(button));
    }
    void MouseUp(MouseButton button) override {
        calls.push_back(std::string("Up ") + Name(button));
        if (onMouseUp) onMouseUp(button);
    }
    void HotkeyClick(int) override {}

    static const char* Name(MouseButton button) {
        return button == MouseButton::Left ? "L" : button == MouseButton::Right ? "R" : "M";
    }

    RichEdit main, status, legend;
    std::vector<std::string> calls;
    std::function<void(MouseButton)> onMouseUp;
};

class TerminalDelivery : public testing::Test {
  protected:
    void SetUp() override {
        ResetConsoleScreen();
        ResetKeyboard();
        ASSERT_EQ(pipe(input_), 0);
        ASSERT_EQ(pipe(output_), 0);
        reader_ = std::thread([this] {
            char buffer[4096];
            ssize_t count;
            while ((count = read(output_[0], buffer, sizeof buffer)) > 0) {
                std::lock_guard<std::mutex> lock(mutex_);
                screen_.Feed(std::string_view(buffer, static_cast<std::size_t>(count)));
                changed_.notify_all();
            }
        });
        TerminalOptions options;
        options.inputFd = input_[0];
        options.outputFd = output_[1];
        options.takeOverTerminal = false;
        options.escapeDelayMs = 10;
        options.colorDepth = ColorDepth::Direct;
        options.endProcess = [](int code) { throw ProcessEnded{code}; };
        host_ = std::make_unique<TerminalWindowSystem>(options);
        ASSERT_TRUE(host_->Open(form_));
        Start();
    }

    void TearDown() override {
        UnbindConsole();
        ResetKeyboard();
        host_.reset();
        if (input_[1] >= 0) close(input_[1]);
        close(input_[0]);
        close(output_[1]);
        reader_.join();
        close(output_[0]);
    }

    // What the station's Start does first: bind the console to us.
    void Start() {
        BindWindowSystem(*host_);
        BindScreenControls(form_.main, form_.status, form_.legend);
        ClearScreen();
    }

    void Type(std::string_view bytes) {
        ASSERT_EQ(write(input_[1], bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }

    bool WaitForScreen(const std::function<bool(const VtScreen&)>& ready) {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(10), [&] { return ready(screen_); });
    }
    bool WaitForText(const std::string& text) {
        return WaitForScreen([&text](const VtScreen& screen) { return screen.Contains(text); });
    }

    RecordingForm form_;
    std::unique_ptr<TerminalWindowSystem> host_;
    int input_[2] = {-1, -1};
    int output_[2] = {-1, -1};
    std::thread reader_;
    std::mutex mutex_;
    std::condition_variable changed_;
    VtScreen screen_{80, 25};
};

using Calls = std::vector<std::string>;

}  // namespace

TEST_F(TerminalDelivery, KeysWaitInOrderWhileOneIsUnread) {
    Type("ab\x1bOPc");
    host_->Pump();
    host_->Pump();
    EXPECT_EQ(form_.calls, Calls{"Key a 65/0"});
    EXPECT_EQ(ReadKey(), 'a');
    EXPECT_EQ(ReadKey(), 'b');
    EXPECT_EQ(ReadKey(), 0);
    EXPECT_EQ(ScanCode(), ScanF1);
    EXPECT_EQ(ReadKey(), 'c');
    EXPECT_EQ(form_.calls, (Calls{"Key a 65/0", "Key b 66/0", "Key ? 112/0", "Key c 67/0"}));
}

TEST_F(TerminalDelivery, NothingIsDeliveredBeforeTheConsoleIsBound) {
    UnbindConsole();
    Type("x");
    host_->Pump();
    host_->Pump();
    EXPECT_TRUE(form_.calls.empty());
    Start();
    EXPECT_EQ(ReadKey(), 'x');
}

TEST_F(TerminalDelivery, PasteIsTheRightClickAndNothingIsDeliveredInsideIt) {
    std::string pasted;
    std::size_t callsInside = 0;
    form_.onMouseUp = [&](MouseButton button) {
        if (button != MouseButton::Right) return;
        pasted = host_->ClipboardText();
        const std::size_t before = form_.calls.size();
        host_->Pump();  // the station pumps while it feeds the pasted keys
        callsInside = form_.calls.size() - before;
    };
    Type(
        "\x1b[200~Gr\xc3\xbc\xc3\x9f"
        "e\x1b[201~z");
    host_->Pump();
    EXPECT_EQ(pasted,
              "Gr\xc3\xbc\xc3\x9f"
              "e");
    EXPECT_EQ(callsInside, 0u);
    EXPECT_EQ(form_.calls, (Calls{"Down R", "Up R", "Key z 90/0"}));
}

TEST_F(TerminalDelivery, WaitingForAKeyInsideADeliveryLetsTheNextOneIn) {
    uint8_t keyInside = 0;
    form_.onMouseUp = [&](MouseButton) { keyInside = ReadKey(); };
    Type("\x1b[200~x\x1b[201~z");
    host_->Pump();
    EXPECT_EQ(keyInside, 'z');
    EXPECT_EQ(form_.calls, (Calls{"Down R", "Up R", "Key z 90/0"}));
}

TEST_F(TerminalDelivery, ClicksBecomeCellsOnTheMainAreaAndReleasesOnTheLines) {
    Type("\x1b[<0;5;10M\x1b[<0;5;10m");  // main area
    Type("\x1b[<0;7;1M\x1b[<0;7;1m");    // status line: release only
    Type("\x1b[<0;3;25M\x1b[<0;3;25m");  // legend line: release only
    Type("\x1b[<0;90;3M\x1b[<0;90;3m");  // beside the screen
    Type("\x1b[<2;6;6M\x1b[<2;6;6m");    // right button
    Type("\x1b[<1;6;6M\x1b[<1;6;6m");    // middle button
    Type("\x1b[<64;6;6M");               // wheel
    host_->Pump();
    EXPECT_EQ(form_.calls,
              (Calls{"Select 5,10", "Down L", "Up L", "Up L", "Up L", "Down R", "Up R"}));
}

TEST_F(TerminalDelivery, EscAloneArrivesAfterTheEscapeDelay) {
    Type("\x1b");
    host_->Pump();
    EXPECT_TRUE(form_.calls.empty());
    EXPECT_EQ(ReadKey(), 27);
    EXPECT_EQ(form_.calls, Calls{"Key ? 27/0"});
}

TEST_F(TerminalDelivery, WaitingSleepsWithoutBurningTheProcessor) {
    std::thread typist([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        Type("q");
    });
    rusage before{}, after{};
    getrusage(RUSAGE_THREAD, &before);
    const uint8_t key = ReadKey();
    getrusage(RUSAGE_THREAD, &after);
    typist.join();
    EXPECT_EQ(key, 'q');
    const auto micros = [](const rusage& r) {
        return (r.ru_utime.tv_sec + r.ru_stime.tv_sec) * 1000000L + r.ru_utime.tv_usec +
               r.ru_stime.tv_usec;
    };
    // A busy wait would spend about the whole 300 ms.
    EXPECT_LT(micros(after) - micros(before), 100000L);
}

TEST_F(TerminalDelivery, TheScreenIsDrawnFromTheControls) {
    SetBackColor(kBlue);
    SetForeColor(kDarkGrey);
    MoveCursor(3, 4);
    WriteText("Hallo");
    host_->Pump();
    ASSERT_TRUE(WaitForText("Hallo"));
    ASSERT_TRUE(WaitForScreen([](const VtScreen& screen) { return screen.CursorX() == 8; }));
    std::lock_guard<std::mutex> lock(mutex_);
    EXPECT_EQ(screen_.At(3, 4).bg, VtColor::Rgb(0x0000CC));
    EXPECT_EQ(screen_.At(3, 4).fg, VtColor::Rgb(0x000000));
    EXPECT_TRUE(screen_.At(3, 4).underline);
    EXPECT_EQ(screen_.At(1, 1).bg, VtColor::Rgb(0xC0C0C0));
    EXPECT_EQ(screen_.CursorY(), 4);
}

TEST_F(TerminalDelivery, MessageBoxTakesOnlyKeysTypedWhileItIsShown) {
    Type("a");  // typed before the box: meant for the station
    std::thread operatorAtTheKeyboard([this] {
        if (!WaitForText("Hinweis")) return;
        Type(
            "q\r"
            "z");  // q is swallowed by the box, Enter closes it, z goes on
    });
    host_->MessageBox("Hinweis", "Kann Datei nicht lesen !!!");
    operatorAtTheKeyboard.join();
    EXPECT_TRUE(form_.calls.empty());
    EXPECT_EQ(ReadKey(), 'a');
    EXPECT_EQ(ReadKey(), 'z');
    EXPECT_EQ(form_.calls, (Calls{"Key a 65/0", "Key z 90/0"}));
    EXPECT_TRUE(WaitForScreen([](const VtScreen& screen) { return !screen.Contains("Hinweis"); }));
}

TEST_F(TerminalDelivery, MessageBoxScrollsAndClosesWithEsc) {
    std::string text;
    for (int i = 1; i <= 30; ++i) text += "Zeile " + std::to_string(i) + "\r\n";
    std::thread operatorAtTheKeyboard([this] {
        if (!WaitForText("Zeile 21")) return;
        Type("\x1b[6~\x1b[6~");  // Page Down twice
        if (!WaitForText("Zeile 30")) return;
        Type("\x1b");
    });
    host_->MessageBox("\u00DCbersicht", text);
    operatorAtTheKeyboard.join();
    EXPECT_TRUE(WaitForScreen([](const VtScreen& screen) { return !screen.Contains("Zeile 30"); }));
    EXPECT_TRUE(form_.calls.empty());
}

TEST_F(TerminalDelivery, CtrlCAsAByteIsStop) {
    Type("\x03");
    host_->Pump();
    EXPECT_EQ(form_.calls, Calls{"Stop"});
}

TEST_F(TerminalDelivery, AfterAnAbandonedSessionOnlyStopEnds) {
    Type("x\x1b[<0;5;5M\x03");
    try {
        host_->ServeUntilStopped();
        FAIL() << "returned";
    } catch (const ProcessEnded& ended) {
        EXPECT_EQ(ended.exitCode, 1);  // our form's Stop came back without ending
    }
    EXPECT_EQ(form_.calls, Calls{"Stop"});
}

TEST_F(TerminalDelivery, HangUpSavesAndEnds) {
    close(input_[1]);
    input_[1] = -1;
    try {
        host_->Pump();
        FAIL() << "returned";
    } catch (const ProcessEnded& ended) {
        EXPECT_EQ(ended.exitCode, 1);
    }
    EXPECT_EQ(form_.calls, Calls{"Stop"});
}
