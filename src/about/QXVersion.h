#pragma once
// The version numbers the About dialog shows, and their texts.

#include <string>

class CQXVersion {
public:
    CQXVersion(int major, int minor, int build);
    virtual ~CQXVersion() = default;

    // Each formats into the shared scratch buffer and returns its own copy, so the order of
    // the calls does not matter.
    std::string GetMajorText();
    std::string GetMinorText();
    std::string GetBuildText();

private:
    std::string Format(int value);

    char text[64];
    int major;
    int minor;
    int build;
};
