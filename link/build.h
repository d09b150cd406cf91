// Link building's own switches.
#pragma once

namespace tnt {

// Link building fills some table sections directly where running every
// colour through the transform is known to give the same bytes (a final
// pass that only re-encodes, tone curves that read one channel each). Off,
// every entry is sampled colour by colour; tests compare the two.
void UseDirectLinkSampling(bool direct);

}  // namespace tnt
