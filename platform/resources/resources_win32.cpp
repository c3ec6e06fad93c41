// Windows: the resources are the executable module's own.
#include <windows.h>

#include <string>

#include "platform/resources/resources.h"

namespace qx80 {

std::span<const uint8_t> FindResourceBytes(ResourceType type, uint16_t id) {
  const HMODULE module = GetModuleHandleW(nullptr);
  const std::u16string typeName(type.name);  // the platform wants it zero-terminated
  const wchar_t* typeArg =
      type.name.empty() ? MAKEINTRESOURCEW(type.number) : reinterpret_cast<const wchar_t*>(typeName.c_str());
  const HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(id), typeArg);
  if (found == nullptr) {
    return {};
  }
  const HGLOBAL loaded = LoadResource(module, found);
  const DWORD size = SizeofResource(module, found);
  const void* data = loaded != nullptr ? LockResource(loaded) : nullptr;
  if (data == nullptr || size == 0) {
    return {};
  }
  return {static_cast<const uint8_t*>(data), size};
}

}  // namespace qx80
