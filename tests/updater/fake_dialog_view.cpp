#include "tests/updater/fake_dialog_view.h"

#include <stdexcept>

namespace qx80::test {
namespace {
constexpr uint32_t kWsDisabled = 0x08000000;
constexpr uint32_t kWsVisible = 0x10000000;
constexpr uint32_t kButtonTypeMask = 0xF;
constexpr uint32_t kAutoRadioButton = 0x9;
// Window class names compare without regard to case ("BUTTON" is the class "Button").
bool SameClassName(std::u16string_view a, std::u16string_view b) {
  auto lower = [](char16_t ch) { return ch >= u'A' && ch <= u'Z' ? static_cast<char16_t>(ch - u'A' + u'a') : ch; };
  if (a.size() != b.size()) {
    return false;
  }
  for (size_t i = 0; i < a.size(); ++i) {
    if (lower(a[i]) != lower(b[i])) {
      return false;
    }
  }
  return true;
}

}  // namespace

FakeDialogView::FakeDialogView(int templateId) {
  const auto dialog = LoadDialogTemplate(templateId);
  if (!dialog) {
    throw std::runtime_error("no dialog template");
  }
  m_title = dialog->title;
  for (const auto& item : dialog->items) {
    FakeControl c;
    c.id = item.id;
    c.windowClass = item.windowClass;
    c.style = item.style;
    c.rect = {item.x, item.y, item.x + item.cx, item.y + item.cy};
    c.text = item.text;
    c.enabled = (item.style & kWsDisabled) == 0;
    c.visible = (item.style & kWsVisible) != 0;
    c.font = &m_templateFont;
    m_controls[item.id] = c;
  }
}

FakeControl* FakeDialogView::Find(int id) {
  auto it = m_controls.find(id);
  if (it == m_controls.end()) {
    ++m_missingItemCalls;
    return nullptr;
  }
  return &it->second;
}

const FakeControl& FakeDialogView::Control(int id) const {
  return m_controls.at(id);
}

void FakeDialogView::SetText(int id, std::u16string_view text) {
  if (auto* c = Find(id)) {
    c->text = text;
  }
}

std::u16string FakeDialogView::GetText(int id) const {
  auto it = m_controls.find(id);
  return it == m_controls.end() ? std::u16string{} : it->second.text;
}

void FakeDialogView::Enable(int id, bool enabled) {
  if (auto* c = Find(id)) {
    c->enabled = enabled;
  }
}

bool FakeDialogView::IsEnabled(int id) const {
  auto it = m_controls.find(id);
  return it != m_controls.end() && it->second.enabled;
}

void FakeDialogView::Check(int id, bool checked) {
  if (auto* c = Find(id)) {
    c->checked = checked;
  }
}

bool FakeDialogView::IsChecked(int id) const {
  auto it = m_controls.find(id);
  return it != m_controls.end() && it->second.checked;
}

void FakeDialogView::SetRichText(int id, std::u16string_view text, const RichTextFont& font) {
  if (auto* c = Find(id)) {
    c->text = text;
    c->richFace = font.faceName;
    c->richTwips = font.heightTwips;
  }
}

FontHandle FakeDialogView::GetItemFont(int id) const {
  auto it = m_controls.find(id);
  return it == m_controls.end() ? nullptr : it->second.font;
}

FontHandle FakeDialogView::CreateHeavierFont(FontHandle font, int weightRaise) {
  if (font == nullptr) {
    return nullptr;
  }
  return &m_heavierFonts.emplace_back(weightRaise);
}

bool FakeDialogView::IsHeavierFont(FontHandle font) const {
  for (const int& made : m_heavierFonts) {
    if (font == &made) {
      return true;
    }
  }
  return false;
}

void FakeDialogView::SetItemFont(int id, FontHandle font) {
  if (auto* c = Find(id)) {
    c->font = font;
    c->emphasised = IsHeavierFont(font);
  }
}

ControlHandle FakeDialogView::ItemHandle(int id) const {
  auto it = m_controls.find(id);
  return it == m_controls.end() ? nullptr : const_cast<FakeControl*>(&it->second);
}

bool FakeDialogView::GetItemPlacement(int id, ItemRect& rect, uint32_t& style) const {
  auto it = m_controls.find(id);
  if (it == m_controls.end()) {
    return false;
  }
  rect = it->second.rect;
  style = it->second.style;
  return true;
}

ControlHandle FakeDialogView::CreateStatic(int id, const ItemRect& rect, uint32_t style) {
  FakeControl& c = m_created.emplace_back();
  c.id = id;
  c.windowClass = u"Static";
  c.style = style;
  c.rect = rect;
  c.visible = (style & kWsVisible) != 0;
  c.enabled = (style & kWsDisabled) == 0;
  c.font = &m_templateFont;
  return &c;
}

FakeControl* FakeDialogView::FromHandle(ControlHandle control) {
  if (control == nullptr) {
    ++m_missingItemCalls;
    return nullptr;
  }
  return static_cast<FakeControl*>(control);
}

void FakeDialogView::SetControlText(ControlHandle control, std::u16string_view text) {
  if (auto* c = FromHandle(control)) {
    c->text = text;
  }
}

void FakeDialogView::ShowControl(ControlHandle control, bool visible) {
  if (auto* c = FromHandle(control)) {
    c->visible = visible;
  }
}

void FakeDialogView::EnableControl(ControlHandle control, bool enabled) {
  if (auto* c = FromHandle(control)) {
    c->enabled = enabled;
  }
}

void FakeDialogView::SetProgressRange(int id, int low, int high) {
  if (auto* c = Find(id)) {
    c->progressLow = low;
    c->progressHigh = high;
  }
}

void FakeDialogView::SetProgressPos(int id, int pos) {
  if (auto* c = Find(id)) {
    c->progressPos = pos;
  }
}

void FakeDialogView::SetItemIcon(int id, int iconId, int size) {
  if (auto* c = Find(id)) {
    c->iconId = iconId;
    c->iconSize = size;
  }
}

bool FakeDialogView::AppendSystemMenuItem(uint32_t command, std::u16string_view text) {
  m_systemMenu.emplace_back(command, std::u16string(text));
  return true;
}

void FakeDialogView::ClickRadio(int id) {
  for (auto& [otherId, c] : m_controls) {
    if (SameClassName(c.windowClass, u"Button") && (c.style & kButtonTypeMask) == kAutoRadioButton) {
      c.checked = otherId == id;
    }
  }
}

}  // namespace qx80::test
