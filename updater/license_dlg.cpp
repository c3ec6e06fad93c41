#include "updater/license_dlg.h"

#include "platform/byte_reader.h"
#include "platform/resources/resources.h"
#include "updater/resources/resource_ids.h"

namespace qx80 {

int LicenseResourceId(int32_t language) {
  return LocalizedStringId(IDR_LICENSE, language);
}

std::u16string LicenseTextFromResource(std::span<const uint8_t> resource) {
  // The text follows its 2-byte order mark; an odd last byte is no unit.
  std::u16string text;
  if (resource.size() >= 2) {
    ByteReader(resource).ReadUtf16(2, (resource.size() - 2) / 2, text);
  }
  return text;
}

CLicenseDlg::CLicenseDlg(const AppInfo& app) : DialogController(IDD_LICENSE), m_app(app) {}

bool CLicenseDlg::OnInitDialog(DialogView& view) {
  view.SetTitle(m_app.LoadText(IDS_LICENSE_TITLE));
  view.Check(IDC_DECLINE, true);
  view.Enable(ID_OK, false);
  if (view.HasItem(IDC_LICENSE_TEXT)) {
    const auto resource = FindResourceBytes(ResourceType::Number(RESOURCE_TYPE_HTML),
                                            static_cast<uint16_t>(LicenseResourceId(m_app.m_language)));
    if (!resource.empty()) {
      view.SetRichText(IDC_LICENSE_TEXT, LicenseTextFromResource(resource), LICENSE_TEXT_FONT);
    }
  }
  view.SetText(IDC_ACCEPT, m_app.LoadText(IDS_ACCEPT_LICENSE));
  view.SetText(IDC_DECLINE, m_app.LoadText(IDS_DECLINE_LICENSE));
  view.SetText(ID_OK, m_app.LoadText(IDS_OK));
  view.SetText(ID_CANCEL, m_app.LoadText(IDS_CANCEL));
  return true;
}

bool CLicenseDlg::OnCommand(DialogView& view, int id, int notifyCode) {
  if (notifyCode != NOTIFY_BUTTON_CLICKED) {
    return false;
  }
  if (id == IDC_ACCEPT) {
    OnAccept(view);
    return true;
  }
  if (id == IDC_DECLINE) {
    OnDecline(view);
    return true;
  }
  return false;
}

void CLicenseDlg::OnAccept(DialogView& view) {
  view.Enable(ID_OK, true);
}

void CLicenseDlg::OnDecline(DialogView& view) {
  view.Enable(ID_OK, false);
}

}  // namespace qx80
