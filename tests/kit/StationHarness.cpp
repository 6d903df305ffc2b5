#include "tests/kit/StationHarness.h"

#include "console/WinCrt.h"
#include "screens/Journal.h"
#include "screens/OperatorRecord.h"
#include "screens/Session.h"

StationHarness::StationHarness(std::function<void()> session) {
    ResetConsoleScreen();
    ResetKeyboard();
    if (!session) session = RunSession;
    form_ = std::make_unique<TForm1>(host_, [this, session] {
        host_.SetHeld(false);
        session();
    });
    host_.SetScreen(form_->RichEdit1, form_->RichEdit2, form_->RichEdit3);
    host_.SetDispatcher([this](const ScriptEvent& event) {
        TForm1& form = *form_;
        switch (event.kind) {
            case ScriptEvent::Kind::Key:
                form.KeyDown(event.virtualKey, event.shift, event.character);
                break;
            case ScriptEvent::Kind::Paste:
                host_.SetClipboardText(event.text);
                form.MouseDown(MouseButton::Right);
                form.MouseUp(MouseButton::Right);
                break;
            case ScriptEvent::Kind::MousePress:
                form.SelectCell(event.x, event.y);
                form.MouseDown(event.button);
                break;
            case ScriptEvent::Kind::MouseRelease:
                form.MouseUp(event.button);
                break;
            case ScriptEvent::Kind::ProgramKey:
                form.HotkeyClick(event.n);
                break;
            case ScriptEvent::Kind::Stop:
                form.StopDown();
                break;
            case ScriptEvent::Kind::Close:
                form.FormClose();
                break;
            case ScriptEvent::Kind::Call:
            case ScriptEvent::Kind::Idle:
                break;
        }
    });
}

StationHarness::~StationHarness() {
    // A run that ended in the middle leaves the journal open: close it, so the
    // next test starts like a fresh process.
    StoredRecords.File().Close();
    ReleaseJournalLock();
    form_.reset();
    UnbindConsole();
    ResetConsoleScreen();
    ResetKeyboard();
}

StationHarness::Outcome StationHarness::Start(bool scriptBeforeSession) {
    host_.SetHeld(!scriptBeforeSession);
    try {
        form_->StartDown();
        return Outcome::Returned;
    } catch (const ScriptEnded&) {
        return Outcome::ScriptEnded;
    } catch (const ProcessEnded&) {
        return Outcome::ProcessEnded;
    }
}

void PrintTo(StationHarness::Outcome outcome, std::ostream* out) {
    switch (outcome) {
        case StationHarness::Outcome::ScriptEnded:
            *out << "ScriptEnded (the station waited for a key the script did not give)";
            break;
        case StationHarness::Outcome::ProcessEnded:
            *out << "ProcessEnded (the station ended the process)";
            break;
        case StationHarness::Outcome::Returned:
            *out << "Returned (Start came back without ending the process)";
            break;
    }
}

std::string StationHarness::Text(int x, int y, int count) const {
    std::string text;
    for (int i = 0; i < count; ++i) text += host_.Cell(x + i, y).ch;
    return text;
}
