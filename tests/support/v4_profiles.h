// ICC v4 profiles made with Little CMS for the tests and the conformance
// program: display profiles whose tone curves are 'para' of every form,
// printer profiles whose tables are 'mAB ' / 'mBA ' with every element (A
// curves, grids of unequal sizes, M curves, a matrix with offsets, B
// curves) sampled from the committed v2 printer profiles, and a device
// link of the kind Little CMS's linkicc writes.
#pragma once

#include <string>
#include <vector>

namespace tnt_test {

struct MadeProfiles {
    std::string srgb;                 // cmsCreate_sRGBProfile
    std::vector<std::string> rgbPara;  // matrix/TRC RGB, 'para' of forms 0 to 4
    std::string cmykLab;  // FOGRA39 as 'mAB '/'mBA ': A curves, grid, B curves; Lab PCS
    std::string cmykXyz;  // FOGRA29 as 'mAB '/'mBA ' with M curves and a matrix; XYZ PCS
    std::string link;     // sRGB to cmykLab as a version 4.3 device link ('mAB ')
};

// Makes the profiles (once per process) in `folder` from the committed
// test profiles in `testProfiles`. Empty paths where Little CMS refused,
// and all of them in the Windows build, which has no Little CMS.
const MadeProfiles& MakeV4Profiles(const std::string& folder, const std::string& testProfiles);

}  // namespace tnt_test
