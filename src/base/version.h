#pragma once

namespace zelmo {

// From debian/changelog, through the build.
#ifndef ZELMO_VERSION
#error "ZELMO_VERSION is set by the build from debian/changelog"
#endif
inline constexpr const char* kVersionText = ZELMO_VERSION;

}  // namespace zelmo
