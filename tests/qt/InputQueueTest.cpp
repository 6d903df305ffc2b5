// The window's input queue: order, the one-key keyboard, nesting and holding.
#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "console/WinCrt.h"
#include "host/HostEvents.h"
#include "host/qt/InputQueue.h"
#include "tests/kit/ScriptedWindowSystem.h"

namespace {

// A form that logs every call; keys go into the station's keyboard as the
// real form does, so the one-key mailbox fills.
class LoggingForm : public HostEvents {
  public:
    std::vector<std::string> log;
    std::function<void()> onMouseUp;
    std::function<void(uint16_t)> onKey;

    RichEdit& StatusControl() override { return status; }
    RichEdit& MainAreaControl() override { return main; }
    RichEdit& LegendControl() override { return legend; }
    void StartDown() override { log.push_back("start"); }
    void StopDown() override { log.push_back("stop"); }
    void FormClose() override { log.push_back("close"); }
    void KeyDown(uint16_t virtualKey, ShiftState shift, char32_t character) override {
        log.push_back(std::string("key ") + static_cast<char>(character));
        if (onKey) onKey(virtualKey);
        DeliverKey(virtualKey, shift, static_cast<uint8_t>(character));
    }
    void KeyPress(char32_t character) override {
        log.push_back(std::string("char ") + static_cast<char>(character));
    }
    void SelectCell(int x, int y) override {
        log.push_back("cell " + std::to_string(x) + "," + std::to_string(y));
    }
    void MouseDown(MouseButton) override { log.push_back("down"); }
    void MouseUp(MouseButton) override {
        log.push_back("up");
        if (onMouseUp) onMouseUp();
    }
    void HotkeyClick(int n) override {
        log.push_back("program " + std::to_string(n));
        DeliverKey(static_cast<uint16_t>('0' + n % 10), AltKey, 0);
    }

    RichEdit main, status, legend;
};

HostInput Key(char ch, bool repeat = false) {
    HostInput input;
    input.kind = HostInput::Kind::Key;
    input.virtualKey = static_cast<uint16_t>(ch >= 'a' && ch <= 'z' ? ch - 32 : ch);
    input.character = static_cast<char32_t>(ch);
    input.autoRepeat = repeat;
    return input;
}

HostInput Mouse(HostInput::Kind kind, int x = 0, int y = 0) {
    HostInput input;
    input.kind = kind;
    input.x = x;
    input.y = y;
    return input;
}

class InputQueueTest : public ::testing::Test {
  protected:
    InputQueueTest() : queue(form, windowSystem) {
        ResetKeyboard();
        for (int row = 2; row <= 24; ++row) form.main.AppendLine(std::u32string(81, U' '));
    }
    ~InputQueueTest() override { ResetKeyboard(); }

    // The station takes the unread key, then pumps.
    char ReadAndPump() {
        EXPECT_TRUE(KeyQueue.KeyAvailable);
        KeyQueue.KeyAvailable = false;
        const char ch = static_cast<char>(KeyQueue.KeyChar);
        queue.Drain();
        return ch;
    }

    LoggingForm form;
    ScriptedWindowSystem windowSystem;
    InputQueue queue;
};

TEST_F(InputQueueTest, KeysWaitWhileOneIsUnreadAndFollowInOrder) {
    for (char ch : std::string("abc")) queue.Push(Key(ch));
    EXPECT_EQ(form.log, (std::vector<std::string>{"key a"}));
    EXPECT_EQ(queue.Size(), 2u);

    std::string read;
    while (KeyQueue.KeyAvailable) read += ReadAndPump();
    EXPECT_EQ(read, "abc");
    EXPECT_EQ(queue.Size(), 0u);
}

TEST_F(InputQueueTest, ClicksAndProgramKeysQueueBehindEarlierKeys) {
    queue.Push(Key('a'));
    queue.Push(Mouse(HostInput::Kind::Press, 5, 7));
    queue.Push(Mouse(HostInput::Kind::Release));
    HostInput program;
    program.kind = HostInput::Kind::ProgramKey;
    program.n = 3;
    queue.Push(program);
    queue.Push(Key('b'));
    EXPECT_EQ(form.log.size(), 1u);

    ReadAndPump();  // 'a' taken: the click goes through, then the program key fills the mailbox
    EXPECT_EQ(form.log, (std::vector<std::string>{"key a", "cell 5,7", "down", "up", "program 3"}));
    ReadAndPump();
    EXPECT_EQ(form.log.back(), "key b");
}

TEST_F(InputQueueTest, NothingGoesInsideAnEarlierEventUnlessTheStationWaitsThere) {
    // A right click whose handling (a paste) pumps, and meanwhile a key arrives.
    bool deliveredInside = false;
    form.onMouseUp = [&] {
        queue.Push(Key('x'));
        queue.Drain();
        deliveredInside = KeyQueue.KeyAvailable;
        // Waiting for a key inside the handling lets the next one through.
        EXPECT_TRUE(queue.ReadyForWait());
        EXPECT_TRUE(queue.DrainForWait());
        EXPECT_TRUE(KeyQueue.KeyAvailable);
        KeyQueue.KeyAvailable = false;
    };
    queue.Push(Mouse(HostInput::Kind::Release));
    EXPECT_FALSE(deliveredInside);
    EXPECT_EQ(form.log, (std::vector<std::string>{"up", "key x"}));
}

TEST_F(InputQueueTest, HeldInputWaitsForTheSessionsFirstKeyWait) {
    queue.Hold();
    queue.Push(Key('a'));
    queue.Push(Key('b'));
    queue.Drain();
    EXPECT_TRUE(form.log.empty());

    EXPECT_TRUE(queue.DrainForWait());
    EXPECT_FALSE(queue.Held());
    EXPECT_EQ(ReadAndPump(), 'a');
    EXPECT_EQ(ReadAndPump(), 'b');
}

TEST_F(InputQueueTest, KeyRepeatCannotRunAheadOfTheStation) {
    queue.Push(Key('a'));
    queue.Push(Key('a', true));  // waits: nothing else does
    queue.Push(Key('a', true));  // dropped: input already waits
    queue.Push(Key('a', true));
    queue.Push(Key('b'));  // typed keys are never dropped

    std::string read;
    while (KeyQueue.KeyAvailable) read += ReadAndPump();
    EXPECT_EQ(read, "aab");
}

TEST_F(InputQueueTest, DraggingSelectsFromThePressedCellAndReleaseClearsTheAnchor) {
    RichEdit& main = form.main;
    const auto index = [](int x, int y) { return (y - 2) * kMainLineStride + (x - 1); };

    queue.Push(Mouse(HostInput::Kind::Press, 10, 5));
    queue.Push(Mouse(HostInput::Kind::Drag, 12, 5));
    EXPECT_EQ(main.SelectionStart(), index(10, 5));
    EXPECT_EQ(main.SelectionLength(), 3);

    queue.Push(Mouse(HostInput::Kind::Drag, 10, 5));  // back on the pressed cell: no selection
    EXPECT_EQ(main.SelectionLength(), 0);

    queue.Push(Mouse(HostInput::Kind::Drag, 79, 4));  // backwards across a line break
    EXPECT_EQ(main.SelectionStart(), index(79, 4));
    EXPECT_EQ(main.SelectionLength(), index(10, 5) - index(79, 4) + 1);

    queue.Push(Mouse(HostInput::Kind::Release));
    queue.Push(Mouse(HostInput::Kind::Drag, 20, 9));  // after the release: nothing
    EXPECT_EQ(main.SelectionStart(), index(79, 4));
}

TEST_F(InputQueueTest, AFailingEventEndsWithAMessageAndTheNextInputStillGoes) {
    form.onKey = [](uint16_t virtualKey) {
        if (virtualKey == 'X') throw std::runtime_error("Ein-/Ausgabefehler 5");
    };
    queue.Push(Key('x'));
    ASSERT_EQ(windowSystem.MessageBoxes().size(), 1u);
    EXPECT_EQ(windowSystem.MessageBoxes()[0].text, "Ein-/Ausgabefehler 5");
    EXPECT_FALSE(queue.Delivering());

    queue.Push(Key('y'));
    EXPECT_EQ(form.log.back(), "key y");
}

}  // namespace
