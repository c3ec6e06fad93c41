#include "updater/win32/win32_dialog_host.h"

#include <commctrl.h>
#include <richedit.h>
#include <shellapi.h>

#include <string>
#include <vector>

namespace qx80 {

static_assert(ID_OK == IDOK && ID_CANCEL == IDCANCEL && NOTIFY_BUTTON_CLICKED == BN_CLICKED);
static_assert(SYSCOMMAND_CLOSE == SC_CLOSE);
static_assert(MESSAGE_BOX_OK == MB_OK && MESSAGE_BOX_OK_CANCEL == MB_OKCANCEL);
static_assert(MESSAGE_BOX_ICON_ERROR == MB_ICONERROR && MESSAGE_BOX_ICON_INFORMATION == MB_ICONINFORMATION);

namespace {

constexpr int kBigIconSize = 48;
constexpr int kSmallIconSize = 16;

const wchar_t* Wide(const std::u16string& s) {
  return reinterpret_cast<const wchar_t*>(s.c_str());
}

HWND HandleOf(const DialogView* view) {
  return view != nullptr ? static_cast<HWND>(view->Handle()) : nullptr;
}

// Posted to itself by a dialog on WM_ACTIVATE, so that its controller runs after the dialog
// manager's own handling (which restores the focus it saved) rather than before it.
constexpr UINT kMessageAfterActivate = WM_USER + 0x100;

}  // namespace

// One dialog window and its controller. Owns the fonts and icons it hands to its controls.
class Win32Dialog final : public DialogView {
 public:
  Win32Dialog(HINSTANCE instance, DialogController& controller, bool modal)
      : m_instance(instance), m_controller(controller), m_modal(modal) {}
  ~Win32Dialog() override { ReleaseGdiObjects(); }
  Win32Dialog(const Win32Dialog&) = delete;
  Win32Dialog& operator=(const Win32Dialog&) = delete;

  static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

  WindowHandle Handle() const override { return m_hwnd; }
  bool HasItem(int id) const override { return Item(id) != nullptr; }

  void SetTitle(std::u16string_view text) override { SetWindowTextW(m_hwnd, Wide(std::u16string(text))); }
  std::u16string GetTitle() const override { return WindowText(m_hwnd); }
  void SetText(int id, std::u16string_view text) override { SetDlgItemTextW(m_hwnd, id, Wide(std::u16string(text))); }
  std::u16string GetText(int id) const override { return WindowText(Item(id)); }
  void Enable(int id, bool enabled) override {
    if (HWND item = Item(id)) {
      ::EnableWindow(item, enabled ? TRUE : FALSE);
    }
  }
  bool IsEnabled(int id) const override {
    HWND item = Item(id);
    return item != nullptr && ::IsWindowEnabled(item) != FALSE;
  }
  void Check(int id, bool checked) override { CheckDlgButton(m_hwnd, id, checked ? BST_CHECKED : BST_UNCHECKED); }
  bool IsChecked(int id) const override { return IsDlgButtonChecked(m_hwnd, id) == BST_CHECKED; }

  void SetRichText(int id, std::u16string_view text, const RichTextFont& font) override;
  FontHandle GetItemFont(int id) const override {
    HWND item = Item(id);
    return item != nullptr ? reinterpret_cast<FontHandle>(SendMessageW(item, WM_GETFONT, 0, 0)) : nullptr;
  }
  FontHandle CreateHeavierFont(FontHandle font, int weightRaise) override;
  void SetItemFont(int id, FontHandle font) override {
    if (HWND item = Item(id)) {
      SendMessageW(item, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    }
  }
  void SetProgressRange(int id, int low, int high) override {
    SendDlgItemMessageW(m_hwnd, id, PBM_SETRANGE, 0, MAKELPARAM(low, high));
  }
  void SetProgressPos(int id, int pos) override { SendDlgItemMessageW(m_hwnd, id, PBM_SETPOS, pos, 0); }
  void SetItemIcon(int id, int iconId, int size) override {
    if (HICON icon = LoadIcon(iconId, size))
      SendDlgItemMessageW(m_hwnd, id, STM_SETICON, reinterpret_cast<WPARAM>(icon), 0);
  }
  void SetWindowIcons(int iconId) override {
    SendMessageW(m_hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(LoadIcon(iconId, kBigIconSize)));
    SendMessageW(m_hwnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(LoadIcon(iconId, kSmallIconSize)));
  }
  bool AppendSystemMenuItem(uint32_t command, std::u16string_view text) override {
    HMENU menu = GetSystemMenu(m_hwnd, FALSE);
    if (menu == nullptr) {
      return false;
    }
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu, MF_STRING, command, Wide(std::u16string(text)));
    return true;
  }

  ControlHandle ItemHandle(int id) const override { return Item(id); }
  bool GetItemPlacement(int id, ItemRect& rect, uint32_t& style) const override;
  ControlHandle CreateStatic(int id, const ItemRect& rect, uint32_t style) override;
  void SetControlText(ControlHandle control, std::u16string_view text) override {
    if (control != nullptr) {
      SetWindowTextW(static_cast<HWND>(control), Wide(std::u16string(text)));
    }
  }
  void ShowControl(ControlHandle control, bool visible) override {
    if (control != nullptr) {
      ::ShowWindow(static_cast<HWND>(control), visible ? SW_SHOW : SW_HIDE);
    }
  }
  void EnableControl(ControlHandle control, bool enabled) override {
    if (control != nullptr) {
      ::EnableWindow(static_cast<HWND>(control), enabled ? TRUE : FALSE);
    }
  }
  void MoveFocusTo(int id) override {
    if (HWND item = Item(id)) {
      SendMessageW(m_hwnd, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(item), TRUE);
    }
  }
  bool ThreadHasFocus() const override { return GetFocus() != nullptr; }
  void AcceptDroppedFiles(bool accept) override { DragAcceptFiles(m_hwnd, accept ? TRUE : FALSE); }
  void BlockShutdown(std::u16string_view reason) override {
    ShutdownBlockReasonCreate(m_hwnd, Wide(std::u16string(reason)));
  }
  void UnblockShutdown() override { ShutdownBlockReasonDestroy(m_hwnd); }

  void EnableWindow(bool enabled) override { ::EnableWindow(m_hwnd, enabled ? TRUE : FALSE); }
  bool IsWindowEnabled() const override { return ::IsWindowEnabled(m_hwnd) != FALSE; }
  void ShowWindow() override { ::ShowWindow(m_hwnd, SW_SHOW); }
  void CenterInWorkArea() override;
  void CenterOver(const DialogView& other) override;
  void BringToTop() override { SetWindowPos(m_hwnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE); }
  void UpdateWindow() override { ::UpdateWindow(m_hwnd); }
  bool IsMinimised() const override { return IsIconic(m_hwnd) != FALSE; }
  IconHandle LoadSystemSizeIcon(int iconId) override { return LoadIcon(iconId, GetSystemMetrics(SM_CXICON)); }
  void PaintMinimisedIcon(IconHandle icon) override;
  void Invalidate() override { InvalidateRect(m_hwnd, nullptr, FALSE); }
  void EndDialog(int result) override {
    if (m_modal) {
      ::EndDialog(m_hwnd, result);
    }
  }

  HWND m_hwnd = nullptr;

 private:
  HWND Item(int id) const { return m_hwnd != nullptr ? GetDlgItem(m_hwnd, id) : nullptr; }
  static std::u16string WindowText(HWND hwnd);
  HICON LoadIcon(int iconId, int size);
  INT_PTR Dispatch(UINT message, WPARAM wParam, LPARAM lParam);
  INT_PTR Result(intptr_t result) {
    SetWindowLongPtrW(m_hwnd, DWLP_MSGRESULT, result);
    return TRUE;
  }
  void ReleaseGdiObjects();
  void DropFiles(HDROP drop);
  void MoveTo(int x, int y) { SetWindowPos(m_hwnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE); }

  HINSTANCE m_instance;
  DialogController& m_controller;
  bool m_modal;
  std::vector<HFONT> m_fonts;
  std::vector<HICON> m_icons;
};

std::u16string Win32Dialog::WindowText(HWND hwnd) {
  if (hwnd == nullptr) {
    return {};
  }
  const int length = GetWindowTextLengthW(hwnd);
  std::u16string text(static_cast<size_t>(length) + 1, u'\0');
  const int copied = GetWindowTextW(hwnd, reinterpret_cast<wchar_t*>(text.data()), length + 1);
  text.resize(static_cast<size_t>(copied > 0 ? copied : 0));
  return text;
}

HICON Win32Dialog::LoadIcon(int iconId, int size) {
  auto icon =
      static_cast<HICON>(LoadImageW(m_instance, MAKEINTRESOURCEW(iconId), IMAGE_ICON, size, size, LR_DEFAULTCOLOR));
  if (icon != nullptr) {
    m_icons.push_back(icon);
  }
  return icon;
}

void Win32Dialog::SetRichText(int id, std::u16string_view text, const RichTextFont& font) {
  HWND edit = Item(id);
  if (edit == nullptr) {
    return;
  }
  CHARRANGE start{0, 0};
  SendMessageW(edit, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&start));
  SETTEXTEX how{ST_DEFAULT, 1200};  // UTF-16
  const std::u16string content(text);
  SendMessageW(edit, EM_SETTEXTEX, reinterpret_cast<WPARAM>(&how), reinterpret_cast<LPARAM>(content.c_str()));

  CHARFORMAT2W format{};
  format.cbSize = sizeof(format);
  SendMessageW(edit, EM_GETCHARFORMAT, SCF_DEFAULT, reinterpret_cast<LPARAM>(&format));
  format.dwMask |= CFM_SIZE | CFM_FACE;
  format.yHeight = font.heightTwips;
  const std::u16string face(font.faceName.substr(0, LF_FACESIZE - 1));
  lstrcpynW(format.szFaceName, Wide(face), LF_FACESIZE);
  SendMessageW(edit, EM_SETCHARFORMAT, SCF_DEFAULT, reinterpret_cast<LPARAM>(&format));

  SendMessageW(edit, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&start));
  SendMessageW(edit, EM_SCROLLCARET, 0, 0);
}

FontHandle Win32Dialog::CreateHeavierFont(FontHandle font, int weightRaise) {
  LOGFONTW description{};
  if (font == nullptr || GetObjectW(static_cast<HFONT>(font), sizeof(description), &description) == 0) {
    return nullptr;
  }
  description.lfWeight += weightRaise;
  HFONT heavier = CreateFontIndirectW(&description);
  if (heavier != nullptr) {
    m_fonts.push_back(heavier);
  }
  return heavier;
}

bool Win32Dialog::GetItemPlacement(int id, ItemRect& rect, uint32_t& style) const {
  HWND item = Item(id);
  RECT window{};
  if (item == nullptr || !GetWindowRect(item, &window)) {
    return false;
  }
  MapWindowPoints(nullptr, m_hwnd, reinterpret_cast<POINT*>(&window), 2);
  rect = {window.left, window.top, window.right, window.bottom};
  style = static_cast<uint32_t>(GetWindowLongW(item, GWL_STYLE));
  return true;
}

ControlHandle Win32Dialog::CreateStatic(int id, const ItemRect& rect, uint32_t style) {
  HWND label =
      CreateWindowExW(0, L"STATIC", L"", style, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top,
                      m_hwnd, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), m_instance, nullptr);
  // A window made at run time starts in the system font; give it the dialog's, like its row.
  if (label != nullptr) {
    SendMessageW(label, WM_SETFONT, SendMessageW(m_hwnd, WM_GETFONT, 0, 0), FALSE);
  }
  return label;
}

void Win32Dialog::PaintMinimisedIcon(IconHandle icon) {
  PAINTSTRUCT paint{};
  HDC dc = BeginPaint(m_hwnd, &paint);
  SendMessageW(m_hwnd, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
  RECT client{};
  GetClientRect(m_hwnd, &client);
  const int iconWidth = GetSystemMetrics(SM_CXICON);
  const int iconHeight = GetSystemMetrics(SM_CYICON);
  if (icon != nullptr) {
    DrawIcon(dc, CentredIconOffset(client.right - client.left, iconWidth),
             CentredIconOffset(client.bottom - client.top, iconHeight), static_cast<HICON>(icon));
  }
  EndPaint(m_hwnd, &paint);
}

void Win32Dialog::DropFiles(HDROP drop) {
  // A longer path is cut by the buffer, and then fails to load.
  wchar_t path[DialogController::kDroppedPathBufferUnits] = {};
  if (DragQueryFileW(drop, 0, path, DialogController::kDroppedPathBufferUnits) == 0) {
    path[0] = L'\0';
  }
  DragFinish(drop);
  m_controller.OnDropFiles(*this, reinterpret_cast<const char16_t*>(path));
}

void Win32Dialog::CenterInWorkArea() {
  RECT area{};
  RECT window{};
  if (!SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0) || !GetWindowRect(m_hwnd, &window)) {
    return;
  }
  const int width = window.right - window.left;
  const int height = window.bottom - window.top;
  MoveTo(area.left + (area.right - area.left - width) / 2, area.top + (area.bottom - area.top - height) / 2);
}

void Win32Dialog::CenterOver(const DialogView& other) {
  RECT over{};
  RECT window{};
  if (!GetWindowRect(HandleOf(&other), &over) || !GetWindowRect(m_hwnd, &window)) {
    return;
  }
  MoveTo(over.left + (over.right - over.left - (window.right - window.left)) / 2,
         over.top + (over.bottom - over.top - (window.bottom - window.top)) / 2);
}

void Win32Dialog::ReleaseGdiObjects() {
  for (HFONT font : m_fonts) {
    DeleteObject(font);
  }
  for (HICON icon : m_icons) {
    DestroyIcon(icon);
  }
  m_fonts.clear();
  m_icons.clear();
}

INT_PTR CALLBACK Win32Dialog::DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    auto* dialog = reinterpret_cast<Win32Dialog*>(lParam);
    SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
    dialog->m_hwnd = hwnd;
    return dialog->m_controller.OnInitDialog(*dialog) ? TRUE : FALSE;
  }
  auto* dialog = reinterpret_cast<Win32Dialog*>(GetWindowLongPtrW(hwnd, DWLP_USER));
  if (dialog == nullptr) return FALSE;  // messages before WM_INITDIALOG
  const INT_PTR handled = dialog->Dispatch(message, wParam, lParam);
  if (message == WM_NCDESTROY) {
    SetWindowLongPtrW(hwnd, DWLP_USER, 0);
    dialog->m_hwnd = nullptr;
    dialog->ReleaseGdiObjects();
  }
  return handled;
}

INT_PTR Win32Dialog::Dispatch(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND: {
      const int id = LOWORD(wParam);
      const int code = HIWORD(wParam);
      if (id == IDOK && (lParam == 0 || code == BN_CLICKED)) {
        m_controller.OnOK(*this);
        return TRUE;
      }
      if (id == IDCANCEL && (lParam == 0 || code == BN_CLICKED)) {
        m_controller.OnCancel(*this);
        return TRUE;
      }
      return m_controller.OnCommand(*this, id, code) ? TRUE : FALSE;
    }
    case WM_SYSCOMMAND:
      return m_controller.OnSysCommand(*this, static_cast<uint32_t>(wParam)) ? Result(0) : FALSE;
    case WM_CTLCOLORSTATIC: {
      // The default colours and brush first; only the text colour changes for alerts.
      const LRESULT brush = DefWindowProcW(m_hwnd, message, wParam, lParam);
      const auto control = reinterpret_cast<HWND>(lParam);
      if (control != nullptr && m_controller.UsesAlertColour(GetDlgCtrlID(control))) {
        SetTextColor(reinterpret_cast<HDC>(wParam), RGB(255, 0, 0));
      }
      return static_cast<INT_PTR>(brush);
    }
    case WM_QUERYENDSESSION:
      return Result(m_controller.OnQueryEndSession(*this) ? TRUE : FALSE);
    case WM_DESTROY:
      m_controller.OnDestroy(*this);
      return FALSE;
    case WM_ACTIVATE:
      PostMessageW(m_hwnd, kMessageAfterActivate, wParam, 0);
      return FALSE;
    case kMessageAfterActivate:
      m_controller.OnActivate(*this, LOWORD(wParam) != WA_INACTIVE);
      return TRUE;
    case WM_PAINT:
      return m_controller.OnPaint(*this) ? TRUE : FALSE;
    case WM_QUERYDRAGICON:
      return reinterpret_cast<INT_PTR>(m_controller.DragIcon());  // as it is, not through DWLP_MSGRESULT
    case WM_DROPFILES:
      DropFiles(reinterpret_cast<HDROP>(wParam));
      return FALSE;  // the default processing follows
    default:
      break;
  }
  if (message >= WM_APP) {
    intptr_t result = 0;
    if (m_controller.OnAppMessage(*this, message, wParam, lParam, result)) {
      return Result(result);
    }
  }
  return FALSE;
}

Win32DialogHost::Win32DialogHost(HINSTANCE instance) : m_instance(instance) {}

Win32DialogHost::~Win32DialogHost() {
  while (!m_modeless.empty()) {
    DestroyModeless(*m_modeless.begin()->first);
  }
}

int Win32DialogHost::RunModal(DialogController& controller, DialogView* owner) {
  Win32Dialog dialog(m_instance, controller, true);
  const INT_PTR result = DialogBoxParamW(m_instance, MAKEINTRESOURCEW(controller.TemplateId()), HandleOf(owner),
                                         &Win32Dialog::DialogProc, reinterpret_cast<LPARAM>(&dialog));
  return static_cast<int>(result);
}

DialogView* Win32DialogHost::CreateModeless(DialogController& controller, DialogView* owner) {
  auto& slot = m_modeless[&controller];
  slot = std::make_unique<Win32Dialog>(m_instance, controller, false);
  if (CreateDialogParamW(m_instance, MAKEINTRESOURCEW(controller.TemplateId()), HandleOf(owner),
                         &Win32Dialog::DialogProc, reinterpret_cast<LPARAM>(slot.get())) == nullptr) {
    m_modeless.erase(&controller);
    return nullptr;
  }
  return slot.get();
}

void Win32DialogHost::DestroyModeless(DialogController& controller) {
  auto it = m_modeless.find(&controller);
  if (it == m_modeless.end()) {
    return;
  }
  if (it->second->m_hwnd != nullptr) {
    DestroyWindow(it->second->m_hwnd);
  }
  m_modeless.erase(it);
}

int Win32DialogHost::ShowMessageBox(DialogView* owner, std::u16string_view text, std::u16string_view caption,
                                    uint32_t flags) {
  return MessageBoxW(HandleOf(owner), Wide(std::u16string(text)), Wide(std::u16string(caption)), flags);
}

void Win32DialogHost::Quit(int exitCode) {
  PostQuitMessage(exitCode);
}

void Win32DialogHost::BeginWaitCursor() {
  if (m_waitDepth++ == 0) {
    m_cursorBeforeWait = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
  }
}

void Win32DialogHost::EndWaitCursor() {
  if (m_waitDepth > 0 && --m_waitDepth == 0) {
    SetCursor(m_cursorBeforeWait);
  }
}

int Win32DialogHost::RunMessageLoop() {
  MSG msg{};
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    // Keyboard navigation (Tab, Enter, Escape) of the modeless dialogs.
    HWND root = msg.hwnd != nullptr ? GetAncestor(msg.hwnd, GA_ROOT) : nullptr;
    bool dialogMessage = false;
    for (const auto& [controller, dialog] : m_modeless) {
      if (dialog->m_hwnd != nullptr && dialog->m_hwnd == root && IsDialogMessageW(root, &msg)) {
        dialogMessage = true;
        break;
      }
    }
    if (dialogMessage) {
      continue;
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return static_cast<int>(msg.wParam);
}

}  // namespace qx80
