#pragma once
// The window system as the application and its dialogs need it beyond a single dialog:
// running dialogs modally or modelessly, message boxes, the quit request and the message
// loop that ends on it.
#include <cstdint>
#include <string_view>

#include "updater/dialog_controller.h"

namespace qx80 {

class DialogHost {
 public:
  virtual ~DialogHost() = default;

  // Runs the dialog of `controller` from its template until it ends; its result, or -1
  // when the window could not be created. `owner` may be null.
  virtual int RunModal(DialogController& controller, DialogView* owner) = 0;
  // Creates the dialog window of `controller` without waiting for it; its initialisation
  // runs inside this call. Null when the window could not be created.
  virtual DialogView* CreateModeless(DialogController& controller, DialogView* owner) = 0;
  // Destroys the window made by CreateModeless (nothing when it has none).
  virtual void DestroyModeless(DialogController& controller) = 0;

  // Shows a message box and returns the command that closed it. `owner` may be null.
  virtual int ShowMessageBox(DialogView* owner, std::u16string_view text, std::u16string_view caption,
                             uint32_t flags) = 0;

  // Asks the message loop to end with `exitCode`.
  virtual void Quit(int exitCode) = 0;
  // Runs until a quit is requested; returns its exit code.
  virtual int RunMessageLoop() = 0;

  // The wait cursor, shown from Begin to the matching End (they nest).
  virtual void BeginWaitCursor() = 0;
  virtual void EndWaitCursor() = 0;
};

// Shows the wait cursor for the life of the object.
class WaitCursor {
 public:
  explicit WaitCursor(DialogHost& host) : m_host(host) { m_host.BeginWaitCursor(); }
  ~WaitCursor() { m_host.EndWaitCursor(); }
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;

 private:
  DialogHost& m_host;
};

}  // namespace qx80
