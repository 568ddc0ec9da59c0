#pragma once
// The one web address the extension ever opens: the information page behind "Latest Info".

namespace veltrane {

// Fixed text; nothing (version, language) is ever appended to it.
inline constexpr char kInfoUrl[] = "http://www.veltrane.org/patch.php?info=q7";

}  // namespace veltrane
