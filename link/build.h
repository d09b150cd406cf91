// Link building's own switches.
#pragma once

namespace tnt {

// Link building fills some table sections directly where running every
// colour through the transform is known to give the same bytes (curve
// passes that work channel by channel, tone curves that read one channel
// each, two matrix stages row by row) and takes the grid's powers from
// tables where they cannot change a code. Off, every entry is sampled
// colour by colour with std::pow; tests compare the two.
void UseDirectLinkSampling(bool direct);

}  // namespace tnt
