#pragma once
// The logic of one dialog: what happens when the dialog initialises, when its buttons are
// pressed and when messages arrive. It acts on its window only through a DialogView, so
// the same logic runs in the Windows build and in native tests.
#include <cstdint>
#include <string_view>

#include "updater/dialog_view.h"
#include "updater/ui_constants.h"

namespace qx80 {

class DialogController {
 public:
  explicit DialogController(int templateId) : m_templateId(templateId) {}
  virtual ~DialogController() = default;
  DialogController(const DialogController&) = delete;
  DialogController& operator=(const DialogController&) = delete;

  int TemplateId() const { return m_templateId; }

  // WM_INITDIALOG; true lets the window system set the default focus.
  virtual bool OnInitDialog(DialogView& view) = 0;
  // The OK command (Enter, or the OK button); the framework's default ends a modal dialog.
  virtual void OnOK(DialogView& view) { view.EndDialog(ID_OK); }
  // The Cancel command (Escape, the close box, or the Cancel button).
  virtual void OnCancel(DialogView& view) { view.EndDialog(ID_CANCEL); }
  // Any other command; true when handled.
  virtual bool OnCommand(DialogView& /*view*/, int /*id*/, int /*notifyCode*/) { return false; }
  // A system command; true when handled, false for the default handling.
  virtual bool OnSysCommand(DialogView& /*view*/, uint32_t /*command*/) { return false; }
  // The application's own messages (WM_APP and above); true when handled, with `result`.
  virtual bool OnAppMessage(DialogView& /*view*/, uint32_t /*message*/, uintptr_t /*wParam*/, intptr_t /*lParam*/,
                            intptr_t& /*result*/) {
    return false;
  }
  // Whether static control `id` is drawn with red text now.
  virtual bool UsesAlertColour(int /*id*/) const { return false; }
  // WM_QUERYENDSESSION: whether Windows may end the session (shut down, log off) now.
  virtual bool OnQueryEndSession(DialogView& /*view*/) { return true; }
  // WM_DESTROY, after the default handling.
  virtual void OnDestroy(DialogView& /*view*/) {}
  // WM_ACTIVATE, after the default handling; `active` unless the window is being deactivated.
  virtual void OnActivate(DialogView& /*view*/, bool /*active*/) {}
  // WM_PAINT; true when the controller painted, false for the dialog's default painting.
  virtual bool OnPaint(DialogView& /*view*/) { return false; }
  // WM_QUERYDRAGICON: the icon shown while a minimised window is dragged; null for the default.
  virtual IconHandle DragIcon() const { return nullptr; }
  // WM_DROPFILES: the path of the first dropped file, as the shell gave it into a buffer of
  // kDroppedPathBufferUnits UTF-16 units (a longer path arrives cut). The default processing
  // follows.
  virtual void OnDropFiles(DialogView& /*view*/, std::u16string_view /*path*/) {}

  static constexpr int kDroppedPathBufferUnits = 256;

 private:
  int m_templateId;
};

}  // namespace qx80
