#include "wipe/WipeMethod.h"

// The method table and PassCount are constant expressions in the header; this unit keeps
// the header's definitions compiled once with the engine's warnings.
namespace veltrane {

static_assert(PassCount(Random | Random2) == 0, "a combination of bits has no row");

}  // namespace veltrane
