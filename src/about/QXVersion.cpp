#include "about/QXVersion.h"

#include <cstdio>

CQXVersion::CQXVersion(int major, int minor, int build)
    : text{}, major(major), minor(minor), build(build) {}

std::string CQXVersion::Format(int value) {
    std::snprintf(text, sizeof text, "%d", value);
    return text;
}

std::string CQXVersion::GetMajorText() {
    return Format(major);
}
std::string CQXVersion::GetMinorText() {
    return Format(minor);
}
std::string CQXVersion::GetBuildText() {
    return Format(build);
}
