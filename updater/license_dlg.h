#pragma once
// The license agreement, shown before anything else: the agreement text in the user's
// language and two radio buttons; OK is enabled only while "accept" is selected.
#include <cstdint>
#include <span>
#include <string>

#include "updater/app_info.h"
#include "updater/dialog_controller.h"

namespace qx80 {

// Font of the agreement text: 11 points of the dialog font.
inline constexpr RichTextFont LICENSE_TEXT_FONT{u"MS Shell Dlg", 220};

// The license resource id for a language: 130, 10130 for Japanese, 20130 for Chinese.
int LicenseResourceId(int32_t language);

// The text of a license resource: every UTF-16 unit after the two-byte byte-order mark
// (not inspected), and nothing else. A resource too short to hold the mark gives no text.
std::u16string LicenseTextFromResource(std::span<const uint8_t> resource);

class CLicenseDlg : public DialogController {
 public:
  explicit CLicenseDlg(const AppInfo& app);

  bool OnInitDialog(DialogView& view) override;
  bool OnCommand(DialogView& view, int id, int notifyCode) override;

  void OnAccept(DialogView& view);
  void OnDecline(DialogView& view);

 private:
  const AppInfo& m_app;
};

}  // namespace qx80
