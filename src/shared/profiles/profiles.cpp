// The lookup of a key in the compiled-in profile table.
#include "profiles/profiles.h"

#include "profiles/profile_table.h"

namespace rdplaunch {

std::span<const ProductProfile> ProfileTable() { return kProfiles; }

// Keys are compared byte for byte, case-sensitively; an unknown key (the empty one
// included) finds no row.
const ProductProfile* FindProfile(std::string_view key) {
  for (const ProductProfile& profile : kProfiles) {
    if (key == profile.key) return &profile;
  }
  return nullptr;
}

}  // namespace rdplaunch
