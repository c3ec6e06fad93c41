#pragma once
// The window side of one dialog, as its logic sees it: the few operations on the dialog and
// its controls (addressed by control id) that the dialogs use. The Windows build implements
// it over a real dialog window; native tests implement it in memory.
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/window_message.h"

namespace qx80 {

// The default character format of a rich text control: face name and height in twips.
struct RichTextFont {
  std::u16string_view faceName;
  int heightTwips = 0;
};

class DialogView {
 public:
  virtual ~DialogView() = default;

  virtual WindowHandle Handle() const = 0;
  virtual bool HasItem(int id) const = 0;

  virtual void SetTitle(std::u16string_view text) = 0;
  virtual std::u16string GetTitle() const = 0;
  virtual void SetText(int id, std::u16string_view text) = 0;
  virtual std::u16string GetText(int id) const = 0;
  virtual void Enable(int id, bool enabled) = 0;
  virtual bool IsEnabled(int id) const = 0;
  virtual void Check(int id, bool checked) = 0;
  virtual bool IsChecked(int id) const = 0;

  // Replaces a rich text control's content, sets its default character format and shows
  // the text from its first line with the caret at the start.
  virtual void SetRichText(int id, std::u16string_view text, const RichTextFont& font) = 0;
  // Gives a control a heavier variant of its own font (weight + 300).
  virtual void SetEmphasisFont(int id) = 0;
  virtual void SetProgressRange(int id, int low, int high) = 0;
  virtual void SetProgressPos(int id, int pos) = 0;
  // Icon resource `iconId` at `size` pixels into an icon static control.
  virtual void SetItemIcon(int id, int iconId, int size) = 0;
  // Icon resource `iconId` as the window's big (48 pixel) and small (16 pixel) icon.
  virtual void SetWindowIcons(int iconId) = 0;
  // Appends a separator and a command item to the window's system menu; false when the
  // window has no system menu.
  virtual bool AppendSystemMenuItem(uint32_t command, std::u16string_view text) = 0;

  virtual void EnableWindow(bool enabled) = 0;
  virtual bool IsWindowEnabled() const = 0;
  virtual void ShowWindow() = 0;
  virtual void CenterInWorkArea() = 0;
  virtual void UpdateWindow() = 0;
  // Ends a modal dialog with `result`.
  virtual void EndDialog(int result) = 0;
};

}  // namespace qx80
