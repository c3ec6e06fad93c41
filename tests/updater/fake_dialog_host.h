#pragma once
// The window system for the dialogs' logic in native tests: dialogs are FakeDialogViews,
// modal dialogs are driven by per-template scripts, message boxes and quit requests are
// recorded, and the message loop ends with the quit code requested before it.
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "tests/updater/fake_dialog_view.h"
#include "updater/dialog_host.h"

namespace qx80::test {

struct RecordedMessageBox {
  DialogView* owner = nullptr;
  std::u16string text;
  std::u16string caption;
  uint32_t flags = 0;
};

class FakeDialogHost : public DialogHost {
 public:
  // What the user does in a modal dialog once it has initialised. Without a script for its
  // template the dialog is cancelled.
  using ModalScript = std::function<void(DialogController&, FakeDialogView&)>;
  std::map<int, ModalScript> m_modalScripts;

  int RunModal(DialogController& controller, DialogView* owner) override {
    FakeDialogView view(controller.TemplateId());
    m_modalRuns.push_back({controller.TemplateId(), owner});
    controller.OnInitDialog(view);
    auto script = m_modalScripts.find(controller.TemplateId());
    if (script != m_modalScripts.end()) {
      script->second(controller, view);
    } else {
      controller.OnCancel(view);
    }
    m_lastModalView = std::make_unique<FakeDialogView>(view);
    return view.m_endResult;
  }

  DialogView* CreateModeless(DialogController& controller, DialogView* /*owner*/) override {
    if (m_failModeless || controller.TemplateId() == m_failModelessTemplate) {
      return nullptr;
    }
    auto& view = m_modeless[&controller];
    view = std::make_unique<FakeDialogView>(controller.TemplateId());
    controller.OnInitDialog(*view);
    return view.get();
  }

  void DestroyModeless(DialogController& controller) override {
    auto it = m_modeless.find(&controller);
    if (it == m_modeless.end()) {
      return;
    }
    controller.OnDestroy(*it->second);
    m_modeless.erase(it);
  }

  int ShowMessageBox(DialogView* owner, std::u16string_view text, std::u16string_view caption,
                     uint32_t flags) override {
    m_messageBoxes.push_back({owner, std::u16string(text), std::u16string(caption), flags});
    if (m_duringMessageBox) {
      m_duringMessageBox();
    }
    return m_messageBoxAnswer;
  }

  void Quit(int exitCode) override { m_quitCodes.push_back(exitCode); }

  void BeginWaitCursor() override {
    ++m_waitCursorDepth;
    ++m_waitCursorShown;
  }
  void EndWaitCursor() override { --m_waitCursorDepth; }

  int RunMessageLoop() override {
    ++m_loopRuns;
    if (m_duringLoop) {
      m_duringLoop();
    }
    return m_quitCodes.empty() ? 0 : m_quitCodes.front();
  }

  FakeDialogView* ModelessView(DialogController& controller) {
    auto it = m_modeless.find(&controller);
    return it == m_modeless.end() ? nullptr : it->second.get();
  }

  struct ModalRun {
    int templateId;
    DialogView* owner;
  };
  std::vector<ModalRun> m_modalRuns;
  std::unique_ptr<FakeDialogView> m_lastModalView;
  std::vector<RecordedMessageBox> m_messageBoxes;
  std::vector<int> m_quitCodes;
  std::function<void()> m_duringLoop;        // what the user does while the loop runs
  std::function<void()> m_duringMessageBox;  // what happens while a message box is open
  int m_messageBoxAnswer = ID_OK;
  int m_waitCursorDepth = 0;
  int m_waitCursorShown = 0;
  int m_loopRuns = 0;
  bool m_failModeless = false;
  int m_failModelessTemplate = 0;  // a template whose modeless window cannot be created

 private:
  std::map<DialogController*, std::unique_ptr<FakeDialogView>> m_modeless;
};

}  // namespace qx80::test
