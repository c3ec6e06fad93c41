#include "tests/updater/dialog_template.h"

#include <cstddef>

#include "platform/byte_reader.h"
#include "platform/resources/resources.h"

namespace qx80::test {
namespace {

constexpr uint32_t kDsSetFont = 0x40;
constexpr uint32_t kDsShellFont = 0x48;

class Reader {
 public:
  explicit Reader(std::span<const uint8_t> b) : m_b(b) {}
  bool ok() const { return m_ok; }
  uint16_t Word() {
    uint16_t v = 0;
    if (!m_b.ReadU16LE(m_at, v)) {
      m_ok = false;
      return 0;
    }
    m_at += 2;
    return v;
  }
  uint32_t Dword() {
    const uint32_t lo = Word();
    return lo | (static_cast<uint32_t>(Word()) << 16);
  }
  uint8_t Byte() {
    uint8_t v = 0;
    if (!m_b.ReadU8(m_at, v)) {
      m_ok = false;
      return 0;
    }
    ++m_at;
    return v;
  }
  std::u16string String() {
    std::u16string s;
    for (uint16_t c = Word(); m_ok && c != 0; c = Word()) {
      s.push_back(static_cast<char16_t>(c));
    }
    return s;
  }
  // A field that is empty (0), an ordinal (0xFFFF + number) or a string.
  std::u16string StringOrOrdinal(uint16_t& ordinal) {
    ordinal = 0;
    const uint16_t first = Word();
    if (first == 0) {
      return {};
    }
    if (first == 0xFFFF) {
      ordinal = Word();
      return {};
    }
    std::u16string s(1, static_cast<char16_t>(first));
    return s + String();
  }
  void Skip(size_t n) {
    if (!m_b.Has(m_at, n)) {
      m_ok = false;
    }
    m_at += n;
  }
  void Align4() { m_at = (m_at + 3) & ~size_t{3}; }

 private:
  ByteReader m_b;
  size_t m_at = 0;
  bool m_ok = true;
};

std::u16string PredefinedClass(uint16_t atom) {
  switch (atom) {
    case 0x80:
      return u"Button";
    case 0x81:
      return u"Edit";
    case 0x82:
      return u"Static";
    case 0x83:
      return u"ListBox";
    case 0x84:
      return u"ScrollBar";
    case 0x85:
      return u"ComboBox";
    default:
      return u"?";
  }
}

}  // namespace

const DialogItemTemplate* DialogTemplate::Item(int32_t id) const {
  for (const auto& item : items) {
    if (item.id == id) {
      return &item;
    }
  }
  return nullptr;
}

std::optional<DialogTemplate> ParseDialogTemplate(std::span<const uint8_t> bytes) {
  Reader r(bytes);
  DialogTemplate t;
  if (r.Word() != 1 || r.Word() != 0xFFFF) {
    return std::nullopt;
  }
  r.Dword();  // help id
  t.exStyle = r.Dword();
  t.style = r.Dword();
  const uint16_t count = r.Word();
  t.x = static_cast<int16_t>(r.Word());
  t.y = static_cast<int16_t>(r.Word());
  t.cx = static_cast<int16_t>(r.Word());
  t.cy = static_cast<int16_t>(r.Word());
  uint16_t ordinal = 0;
  r.StringOrOrdinal(ordinal);  // menu
  r.StringOrOrdinal(ordinal);  // window class
  t.title = r.String();
  if ((t.style & kDsSetFont) != 0 || (t.style & kDsShellFont) == kDsShellFont) {
    t.pointSize = r.Word();
    r.Word();  // weight
    r.Byte();  // italic
    r.Byte();  // character set
    t.typeface = r.String();
  }
  for (uint16_t i = 0; i < count && r.ok(); ++i) {
    r.Align4();
    DialogItemTemplate item;
    r.Dword();  // help id
    item.exStyle = r.Dword();
    item.style = r.Dword();
    item.x = static_cast<int16_t>(r.Word());
    item.y = static_cast<int16_t>(r.Word());
    item.cx = static_cast<int16_t>(r.Word());
    item.cy = static_cast<int16_t>(r.Word());
    item.id = static_cast<int32_t>(r.Dword());
    item.windowClass = r.StringOrOrdinal(ordinal);
    if (ordinal != 0) {
      item.windowClass = PredefinedClass(ordinal);
    }
    item.text = r.StringOrOrdinal(item.textOrdinal);
    r.Skip(r.Word());  // creation data
    t.items.push_back(item);
  }
  if (!r.ok()) {
    return std::nullopt;
  }
  return t;
}

std::optional<DialogTemplate> LoadDialogTemplate(int id) {
  return ParseDialogTemplate(FindResourceBytes(ResourceType::Number(RESOURCE_TYPE_DIALOG), static_cast<uint16_t>(id)));
}

}  // namespace qx80::test
