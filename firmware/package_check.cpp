#include "firmware/package_check.h"

#include <algorithm>
#include <string_view>

#include "firmware/firm_file.h"
#include "firmware/version_text.h"

namespace qx80 {

uint32_t PackageCheck::UsedBytes() const {
  return parts.empty() ? 0 : parts.back().part.offset + parts.back().part.size;
}

bool PackageCheck::Sound() const {
  return !parts.empty() && rest == PackageRest::None &&
         std::all_of(parts.begin(), parts.end(), [](const PartCheck& p) { return p.load == FirmLoad::Ok; });
}

PackageCheck CheckPackage(std::span<const uint8_t> package) {
  PackageCheck check;
  check.size = static_cast<uint32_t>(package.size());
  for (const PackagePart& part : SplitFirmPackage(package)) {
    FirmImageInfo image;
    PartCheck result{part, CheckFirmImage(package.data() + part.offset, part.size, image), {}};
    if (result.load == FirmLoad::Ok) {
      result.version = DisplayVersionText(std::string_view(image.version.data(), image.version.size()));
    }
    check.parts.push_back(std::move(result));
  }
  const auto rest = package.subspan(check.UsedBytes());
  if (rest.empty()) {
    return check;
  }
  if (check.parts.size() == FIRM_PACKAGE_MAX_PARTS) {
    check.rest = PackageRest::Beyond;
  } else if (const auto head = ReadPartHead(rest); head && head->length > rest.size()) {
    check.rest = PackageRest::Truncated;
    check.restKind = head->kind;
    check.restDeclared = head->length;
  } else {
    check.rest = PackageRest::NoPart;
  }
  return check;
}

}  // namespace qx80
