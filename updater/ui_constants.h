#pragma once
// Numbers of the window system that the dialogs' logic uses, so that the logic builds
// without the window system's headers. They keep the platform's values (the Windows build
// checks that they agree).
#include <cstdint>

namespace qx80 {

// Dialog results and the command ids of the OK and Cancel buttons.
constexpr int ID_OK = 1;
constexpr int ID_CANCEL = 2;

// Notification code of a clicked button (WM_COMMAND, high word).
constexpr int NOTIFY_BUTTON_CLICKED = 0;

// System commands.
constexpr uint32_t SYSCOMMAND_ABOUT = 0x10;  // our own item in the main dialog's system menu
constexpr uint32_t SYSCOMMAND_CLOSE = 0xF060;

// Message box forms.
constexpr uint32_t MESSAGE_BOX_OK = 0x0;
constexpr uint32_t MESSAGE_BOX_OK_CANCEL = 0x1;
constexpr uint32_t MESSAGE_BOX_ICON_ERROR = 0x10;
constexpr uint32_t MESSAGE_BOX_ICON_INFORMATION = 0x40;

}  // namespace qx80
