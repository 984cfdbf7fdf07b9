#include "core/Version.h"

#include "KorvexVersion.h"

namespace korvex {

std::string GetVersionText()
{
    const std::string version = kVersionText;
    return version.empty() ? "0.0.0.0" : version;
}

} // namespace korvex
