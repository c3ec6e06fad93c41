#include "tests/updater/fake_dialog_view.h"

#include <stdexcept>

namespace qx80::test {
namespace {
constexpr uint32_t kWsDisabled = 0x08000000;
constexpr uint32_t kButtonTypeMask = 0xF;
constexpr uint32_t kAutoRadioButton = 0x9;
}  // namespace

FakeDialogView::FakeDialogView(int templateId) {
  const auto dialog = LoadDialogTemplate(templateId);
  if (!dialog) throw std::runtime_error("no dialog template");
  m_title = dialog->title;
  for (const auto& item : dialog->items) {
    FakeControl c;
    c.windowClass = item.windowClass;
    c.style = item.style;
    c.text = item.text;
    c.enabled = (item.style & kWsDisabled) == 0;
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
  if (auto* c = Find(id)) c->text = text;
}

std::u16string FakeDialogView::GetText(int id) const {
  auto it = m_controls.find(id);
  return it == m_controls.end() ? std::u16string{} : it->second.text;
}

void FakeDialogView::Enable(int id, bool enabled) {
  if (auto* c = Find(id)) c->enabled = enabled;
}

bool FakeDialogView::IsEnabled(int id) const {
  auto it = m_controls.find(id);
  return it != m_controls.end() && it->second.enabled;
}

void FakeDialogView::Check(int id, bool checked) {
  if (auto* c = Find(id)) c->checked = checked;
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

void FakeDialogView::SetEmphasisFont(int id) {
  if (auto* c = Find(id)) c->emphasised = true;
}

void FakeDialogView::SetProgressRange(int id, int low, int high) {
  if (auto* c = Find(id)) {
    c->progressLow = low;
    c->progressHigh = high;
  }
}

void FakeDialogView::SetProgressPos(int id, int pos) {
  if (auto* c = Find(id)) c->progressPos = pos;
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
    if (c.windowClass == u"Button" && (c.style & kButtonTypeMask) == kAutoRadioButton) c.checked = otherId == id;
  }
}

}  // namespace qx80::test
