#pragma once
// An in-memory dialog for the dialogs' logic: controls made from the real template (ids,
// texts, enabled and visible states), every operation recorded. Operations on a control the
// template lacks are counted, since the real window would silently ignore them.
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "tests/updater/dialog_template.h"
#include "updater/dialog_view.h"

namespace qx80::test {

struct FakeControl {
  int id = 0;
  std::u16string windowClass;
  uint32_t style = 0;
  ItemRect rect;  // in dialog units for template items, as created for run-time statics
  std::u16string text;
  bool enabled = true;
  bool visible = true;
  FontHandle font = nullptr;
  bool checked = false;
  bool emphasised = false;
  int progressLow = 0, progressHigh = 100, progressPos = 0;
  int iconId = 0, iconSize = 0;
  std::u16string richFace;
  int richTwips = 0;
};

class FakeDialogView : public DialogView {
 public:
  // A dialog built from template resource `templateId`.
  explicit FakeDialogView(int templateId);

  WindowHandle Handle() const override { return const_cast<FakeDialogView*>(this); }
  bool HasItem(int id) const override { return m_controls.count(id) != 0; }
  void SetTitle(std::u16string_view text) override { m_title = text; }
  std::u16string GetTitle() const override { return m_title; }
  void SetText(int id, std::u16string_view text) override;
  std::u16string GetText(int id) const override;
  void Enable(int id, bool enabled) override;
  bool IsEnabled(int id) const override;
  void Check(int id, bool checked) override;
  bool IsChecked(int id) const override;
  void SetRichText(int id, std::u16string_view text, const RichTextFont& font) override;
  FontHandle GetItemFont(int id) const override;
  FontHandle CreateHeavierFont(FontHandle font, int weightRaise) override;
  void SetItemFont(int id, FontHandle font) override;
  void SetProgressRange(int id, int low, int high) override;
  void SetProgressPos(int id, int pos) override;
  void SetItemIcon(int id, int iconId, int size) override;
  void SetWindowIcons(int iconId) override { m_windowIcon = iconId; }
  bool AppendSystemMenuItem(uint32_t command, std::u16string_view text) override;
  ControlHandle ItemHandle(int id) const override;
  bool GetItemPlacement(int id, ItemRect& rect, uint32_t& style) const override;
  ControlHandle CreateStatic(int id, const ItemRect& rect, uint32_t style) override;
  void SetControlText(ControlHandle control, std::u16string_view text) override;
  void ShowControl(ControlHandle control, bool visible) override;
  void EnableControl(ControlHandle control, bool enabled) override;
  void MoveFocusTo(int id) override { m_focus = id; }
  bool ThreadHasFocus() const override { return m_threadHasFocus; }
  void AcceptDroppedFiles(bool accept) override { m_acceptsFiles = accept; }
  void BlockShutdown(std::u16string_view reason) override { m_shutdownBlockReason = reason; }
  void UnblockShutdown() override { m_shutdownBlockReason.reset(); }
  void EnableWindow(bool enabled) override { m_windowEnabled = enabled; }
  bool IsWindowEnabled() const override { return m_windowEnabled; }
  void ShowWindow() override { m_visible = true; }
  void CenterInWorkArea() override {}
  void CenterOver(const DialogView& other) override { m_centredOver = &other; }
  void BringToTop() override { ++m_broughtToTop; }
  void UpdateWindow() override {}
  bool IsMinimised() const override { return m_minimised; }
  IconHandle LoadSystemSizeIcon(int iconId) override { return &m_loadedIcons.emplace_back(iconId); }
  void PaintMinimisedIcon(IconHandle icon) override { m_paintedIcon = icon; }
  void Invalidate() override { ++m_invalidated; }
  void EndDialog(int result) override { m_endResult = result; }

  // What a user's click on an automatic radio button does: it selects it and clears the
  // other radio buttons of the template.
  void ClickRadio(int id);

  const FakeControl& Control(int id) const;
  // The statics made at run time, in order of creation.
  const std::deque<FakeControl>& Created() const { return m_created; }
  // The font a control has, and whether it is a heavier one this view made.
  bool IsHeavierFont(FontHandle font) const;

  bool m_visible = false;
  bool m_minimised = false;
  bool m_threadHasFocus = true;
  bool m_acceptsFiles = false;
  std::optional<std::u16string> m_shutdownBlockReason;  // while the window holds a shutdown
  int m_focus = 0;                                      // the item the dialog's focus was last moved to
  IconHandle m_paintedIcon = nullptr;
  std::deque<int> m_loadedIcons;  // the icon resources loaded; handles point here
  int m_broughtToTop = 0;
  int m_invalidated = 0;
  const DialogView* m_centredOver = nullptr;
  bool m_windowEnabled = true;
  int m_windowIcon = 0;
  int m_endResult = -1;  // -1 while the dialog has not been ended
  std::vector<std::pair<uint32_t, std::u16string>> m_systemMenu;
  int m_missingItemCalls = 0;

 private:
  FakeControl* Find(int id);
  FakeControl* FromHandle(ControlHandle control);
  std::u16string m_title;
  std::map<int, FakeControl> m_controls;
  std::deque<FakeControl> m_created;  // stable addresses: the handles point here
  std::deque<int> m_heavierFonts;     // the fonts this view made; handles point here
  int m_templateFont = 0;             // the template's font, the handle of every item's
};

}  // namespace qx80::test
