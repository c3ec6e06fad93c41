#pragma once
// The window side of one dialog, as its logic sees it: the few operations on the dialog and
// its controls (addressed by control id) that the dialogs use. The Windows build implements
// it over a real dialog window; native tests implement it in memory.
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/window_message.h"

namespace qx80 {

// A control made at run time (or a template item) addressed by its window rather than its id.
using ControlHandle = void*;
// A font of the window system; the view that made it owns it until its window goes.
using FontHandle = void*;
// An icon of the window system; the view that loaded it owns it until its window goes.
using IconHandle = void*;

// A rectangle in the dialog's client coordinates, in pixels.
struct ItemRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  int Width() const { return right - left; }
};

// How much heavier an emphasised font is than the control's own (400 becomes 700).
constexpr int kEmphasisWeightRaise = 300;

// Where a minimised window draws its icon: centred, (client - icon + 1) / 2 on each axis.
constexpr int CentredIconOffset(int clientSize, int iconSize) {
  return (clientSize - iconSize + 1) / 2;
}

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
  // Fonts: a control's own, a heavier variant of a font (null when none can be made), and
  // setting a control's font with a redraw.
  virtual FontHandle GetItemFont(int id) const = 0;
  virtual FontHandle CreateHeavierFont(FontHandle font, int weightRaise) = 0;
  virtual void SetItemFont(int id, FontHandle font) = 0;
  // Gives a control a heavier variant of its own font.
  void SetEmphasisFont(int id) {
    if (FontHandle heavier = CreateHeavierFont(GetItemFont(id), kEmphasisWeightRaise)) {
      SetItemFont(id, heavier);
    }
  }
  virtual void SetProgressRange(int id, int low, int high) = 0;
  virtual void SetProgressPos(int id, int pos) = 0;
  // Icon resource `iconId` at `size` pixels into an icon static control.
  virtual void SetItemIcon(int id, int iconId, int size) = 0;
  // Icon resource `iconId` as the window's big (48 pixel) and small (16 pixel) icon.
  virtual void SetWindowIcons(int iconId) = 0;
  // Appends a separator and a command item to the window's system menu; false when the
  // window has no system menu.
  virtual bool AppendSystemMenuItem(uint32_t command, std::u16string_view text) = 0;

  // Controls addressed by their window: a template item's, or a static made at run time from
  // a rectangle and a style (with an empty text, a child of the dialog; `id` may be 0).
  virtual ControlHandle ItemHandle(int id) const = 0;
  // The item's window rectangle in client coordinates and its window style; false without it.
  virtual bool GetItemPlacement(int id, ItemRect& rect, uint32_t& style) const = 0;
  virtual ControlHandle CreateStatic(int id, const ItemRect& rect, uint32_t style) = 0;
  virtual void SetControlText(ControlHandle control, std::u16string_view text) = 0;
  virtual void ShowControl(ControlHandle control, bool visible) = 0;
  virtual void EnableControl(ControlHandle control, bool enabled) = 0;

  // Keyboard focus: moves the dialog's focus to item `id` the way the dialog manager does
  // (WM_NEXTDLGCTL), and tells whether any window of this thread has the focus.
  virtual void MoveFocusTo(int id) = 0;
  virtual bool ThreadHasFocus() const = 0;

  // Registers the window as a target for files dropped from the shell.
  virtual void AcceptDroppedFiles(bool accept) = 0;
  // Asks Windows to hold a shutdown or log-off while the window shows `reason` (the user sees
  // it on the shutdown screen), and lets it go again.
  virtual void BlockShutdown(std::u16string_view reason) = 0;
  virtual void UnblockShutdown() = 0;

  virtual void EnableWindow(bool enabled) = 0;
  virtual bool IsWindowEnabled() const = 0;
  virtual void ShowWindow() = 0;
  virtual void CenterInWorkArea() = 0;
  // Centres the window over `other`'s window.
  virtual void CenterOver(const DialogView& other) = 0;
  // Raises the window to the top of the z-order without moving or sizing it.
  virtual void BringToTop() = 0;
  virtual void UpdateWindow() = 0;
  virtual bool IsMinimised() const = 0;
  // Icon resource `iconId` at the system's icon size (SM_CXICON); null when it cannot be loaded.
  virtual IconHandle LoadSystemSizeIcon(int iconId) = 0;
  // Within WM_PAINT of a minimised window: erases the icon's background and draws `icon`
  // centred in the client area (CentredIconOffset).
  virtual void PaintMinimisedIcon(IconHandle icon) = 0;
  // Invalidates the whole client area without erasing it.
  virtual void Invalidate() = 0;
  // Ends a modal dialog with `result`.
  virtual void EndDialog(int result) = 0;
};

}  // namespace qx80
