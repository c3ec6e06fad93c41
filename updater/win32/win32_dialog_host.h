#pragma once
// The dialog framework on Win32: dialogs from template resources (DialogBoxParamW and
// CreateDialogParamW) whose one static dialog procedure hands each message to the dialog's
// controller, a DialogView over the dialog window and its items, and the message loop.
#include <windows.h>

#include <map>
#include <memory>

#include "updater/dialog_host.h"

namespace qx80 {

class Win32Dialog;

class Win32DialogHost : public DialogHost {
 public:
  explicit Win32DialogHost(HINSTANCE instance);
  ~Win32DialogHost() override;

  int RunModal(DialogController& controller, DialogView* owner) override;
  DialogView* CreateModeless(DialogController& controller, DialogView* owner) override;
  void DestroyModeless(DialogController& controller) override;
  int ShowMessageBox(DialogView* owner, std::u16string_view text, std::u16string_view caption, uint32_t flags) override;
  void Quit(int exitCode) override;
  int RunMessageLoop() override;
  void BeginWaitCursor() override;
  void EndWaitCursor() override;

 private:
  HINSTANCE m_instance;
  int m_waitDepth = 0;
  HCURSOR m_cursorBeforeWait = nullptr;
  std::map<DialogController*, std::unique_ptr<Win32Dialog>> m_modeless;
};

}  // namespace qx80
