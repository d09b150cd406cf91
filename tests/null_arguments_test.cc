// Every export with a null where it needs a profile, transform, link,
// location, buffer or out-argument: the documented status (or value), and
// nothing else happens. The other arguments are valid, so a check that
// looks at the wrong argument shows.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "support/real_profiles.h"
#include "tintwell.h"

namespace {

using tnt_test::TestProfile;

struct NullRow {
    const char* call;
    std::function<int64_t()> run;
    int64_t expected;
};

TntStatus CountingWrite(uintptr_t, const char*) { return 0; }
uint32_t Progress(int32_t, int32_t) { return 0; }

TEST(NullArguments, EveryExportRefusesOrIgnoresNulls) {
    const std::string link = TestProfile("srgb-to-tr003-link-mft2-linkicc.icc");
    const std::string gray = TestProfile("gray-gamma1-mntr-xyz-v2.icc");
    ProfileLocation where = tnt_test::FileLocationOf(gray);
    Profile* p = nullptr;
    ASSERT_EQ(TntOpenProfile(&p, &where), TNT_OK);
    ProfileLocation printer = tnt_test::FileLocationOf(TestProfile("tr003-cmyk-lab-low-v2.icc"));
    Profile* cmyk = nullptr;
    ASSERT_EQ(TntOpenProfile(&cmyk, &printer), TNT_OK);
    MatchTransform* t = TntNewTransformPtr();
    ASSERT_NE(t, nullptr);
    ProfLink* l = nullptr;
    ASSERT_EQ(TntNewProfLink(link.c_str(), nullptr, nullptr, 0, &l), TNT_OK);
    ProfLink* out = nullptr;
    Profile* none[1] = {nullptr};
    uint32_t value = 0;
    uint8_t buffer[256] = {};
    const uint8_t* planes[4] = {buffer, buffer, buffer, buffer};
    uint8_t* outPlanes[4] = {buffer, buffer, buffer, buffer};
    const TntSignature desc = TNT_SIG('d', 'e', 's', 'c');
    const int64_t kNull = TNT_ERR_NULL_ARGUMENT, kParam = TNT_ERR_NULL_PARAMETER;

    const std::vector<NullRow> rows = {
        {"MakeMemFile location", [&] { return TntMakeMemFile(nullptr, buffer, 5); }, 0},
        {"NewProfile out", [&] { return TntNewProfile(nullptr, nullptr); }, kNull},
        {"OpenProfile out", [&] { return TntOpenProfile(nullptr, &where); }, kParam},
        {"OpenProfile location", [&] { return TntOpenProfile(&p, nullptr); }, kParam},
        {"CloseProfile", [&] { return TntCloseProfile(nullptr); }, 0},
        {"SaveProfile profile", [&] { return TntSaveProfile(nullptr, &where); }, kNull},
        {"SaveProfile location", [&] { return TntSaveProfile(p, nullptr); }, kNull},
        {"UpdateProfile", [&] { return TntUpdateProfile(nullptr); }, kNull},
        {"ProfileElementExists profile", [&] { return TntProfileElementExists(nullptr, desc, &value); }, kNull},
        {"ProfileElementExists out", [&] { return TntProfileElementExists(p, desc, nullptr); }, kNull},
        {"CountProfileElements profile", [&] { return TntCountProfileElements(nullptr, &value); }, kNull},
        {"CountProfileElements out", [&] { return TntCountProfileElements(p, nullptr); }, kNull},
        {"GetProfileElementSize", [&] { return TntGetProfileElementSize(nullptr, desc); }, 0},
        {"ProfileGetTagDataPtr", [&] { return TntProfileGetTagDataPtr(nullptr, desc) != nullptr; }, 0},
        {"GetProfileHeader profile", [&] { return TntGetProfileHeader(nullptr, buffer); }, kNull},
        {"GetProfileHeader buffer", [&] { return TntGetProfileHeader(p, nullptr); }, kNull},
        {"SetProfileHeader profile", [&] { return TntSetProfileHeader(nullptr, buffer); }, kNull},
        {"GetProfileElement profile", [&] { return TntGetProfileElement(nullptr, desc, &value, buffer); }, kNull},
        {"GetPartialProfileElement profile",
         [&] { return TntGetPartialProfileElement(nullptr, desc, 0, &value, buffer); }, kNull},
        {"GetPartialProfileElement count", [&] { return TntGetPartialProfileElement(p, desc, 0, nullptr, buffer); },
         kNull},
        {"SetProfileElement", [&] { return TntSetProfileElement(nullptr, desc, 1, buffer); }, kNull},
        {"SetPartialProfileElement", [&] { return TntSetPartialProfileElement(nullptr, desc, 0, 1, buffer); }, kNull},
        {"SetProfileElementSize", [&] { return TntSetProfileElementSize(nullptr, desc, 1); }, kNull},
        {"SetProfileElementReference", [&] { return TntSetProfileElementReference(nullptr, desc, desc); }, kNull},
        {"RemoveProfileElement", [&] { return TntRemoveProfileElement(nullptr, desc); }, kNull},
        {"DisposeMatchTransform", [&] { return TntDisposeMatchTransform(nullptr); }, kNull},
        {"ConcatProfiles transform", [&] { return TntConcatProfiles(nullptr, 0, 0, 1, &where, nullptr); }, kParam},
        {"ConcatProfiles locations", [&] { return TntConcatProfiles(t, 0, 0, 1, nullptr, nullptr); }, kParam},
        {"ConcatProfileRefs transform", [&] { return TntConcatProfileRefs(nullptr, 0, 0, 1, &p, nullptr); }, kParam},
        {"ConcatProfileRefs profile", [&] { return TntConcatProfileRefs(t, 0, 0, 1, none, nullptr); }, kParam},
        {"ConcatProfileRefs no profiles", [&] { return TntConcatProfileRefs(t, 0, 0, 0, &p, nullptr); }, kParam},
        {"TransGetSrcSpace", [&] { return TntTransGetSrcSpace(nullptr); }, 0},
        {"TransGetDstSpace", [&] { return TntTransGetDstSpace(nullptr); }, 0},
        {"ICCSingleMatchProc transform", [&] { return TntICCSingleMatchProc(buffer, buffer, nullptr, 1); }, kParam},
        {"ICCMatchColors transform",
         [&] { return TntICCMatchColors(nullptr, 0, buffer, buffer, 1, 3, 3, 0, 0, 1); }, kParam},
        {"SetPreserveBlack transform", [&] { return TntSetPreserveBlack(nullptr, nullptr); }, 0},
        {"MatchSpotColor", [&] { return TntMatchSpotColor(nullptr, nullptr); }, TNT_ERR_SPOT_NOT_FOUND},
        {"SaveCRD profile", [&] { return TntSaveCRD(nullptr, 0, CountingWrite, 0); }, TNT_ERR_UNSUPPORTED_SPACE},
        {"SaveCRD write", [&] { return TntSaveCRD(cmyk, 0, nullptr, 0); }, kParam},
        {"MatchTrans2Link transform", [&] { return TntMatchTrans2Link(nullptr, 0, &out); }, kNull},
        {"MatchTrans2Link out", [&] { return TntMatchTrans2Link(t, 0, nullptr); }, kNull},
        {"CreateMatchTransformation transform",
         [&] { return TntCreateMatchTransformation(nullptr, link.c_str(), nullptr, nullptr, 0, 0, 0, 0, 0); }, kParam},
        {"DeleteMatchTransformation", [&] { return TntDeleteMatchTransformation(nullptr); }, kNull},
        {"NewProfLink out", [&] { return TntNewProfLink(link.c_str(), nullptr, nullptr, 0, nullptr); }, kNull},
        {"NewProfLink no profiles", [&] { return TntNewProfLink(nullptr, nullptr, nullptr, 0, &out); }, kParam},
        {"Profiles2Link out", [&] { return TntProfiles2Link(0, 0, 1, &where, nullptr, 0, nullptr); }, kNull},
        {"Profiles2Link locations", [&] { return TntProfiles2Link(0, 0, 1, nullptr, nullptr, 0, &out); }, kParam},
        {"Profiles2LinkWithControls out",
         [&] { return TntProfiles2LinkWithControls(0, 0, 1, &where, nullptr, 0, nullptr, nullptr); }, kNull},
        {"BuildLink out", [&] { return TntBuildLink(0, 0, 1, &where, nullptr, 0, nullptr, 0, nullptr); }, kNull},
        {"BuildLinkFromProfileRefs out",
         [&] { return TntBuildLinkFromProfileRefs(0, 0, 1, &p, nullptr, 0, nullptr, 0, nullptr); }, kNull},
        {"BuildLinkFromProfileRefs profile",
         [&] { return TntBuildLinkFromProfileRefs(0, 0, 1, none, nullptr, 0, nullptr, 0, &out); }, kParam},
        {"LinkSourceType", [&] { return TntLinkSourceType(nullptr); }, 0x7FFFFFFF},
        {"LinkDestType", [&] { return TntLinkDestType(nullptr); }, 0x7FFFFFFF},
        {"DisposeProfLink", [&] { return TntDisposeProfLink(nullptr); }, 0},
        {"LinkMatchColors link", [&] { return TntLinkMatchColors(nullptr, 1, buffer, buffer, 0, 0, 0, Progress); },
         kNull},
        {"LinkMatchColorPlanes link",
         [&] { return TntLinkMatchColorPlanes(nullptr, 1, planes, 1, outPlanes, 1, nullptr); }, kNull},
    };
    ProfLink* const kUnset = reinterpret_cast<ProfLink*>(1);
    for (const NullRow& row : rows) {
        SCOPED_TRACE(row.call);
        out = kUnset;
        EXPECT_EQ(row.run(), row.expected);
        // A builder given somewhere to put the link clears it on failure.
        if (std::string(row.call).find("out") == std::string::npos) {
            EXPECT_TRUE(out == nullptr || out == kUnset);
        }
    }
    out = kUnset;
    EXPECT_EQ(TntMatchTrans2Link(nullptr, 0, &out), kNull);
    EXPECT_EQ(out, nullptr);
    out = kUnset;
    EXPECT_EQ(TntBuildLinkFromProfileRefs(0, 0, 1, none, nullptr, 0, nullptr, 0, &out), kParam);
    EXPECT_EQ(out, nullptr);
    // Nothing above changed what was valid.
    EXPECT_EQ(TntLinkSourceType(l), TNT_SIG('R', 'G', 'B', ' '));
    EXPECT_EQ(TntCountProfileElements(p, &value), TNT_OK);
    EXPECT_GT(value, 0u);
    TntDisposeProfLink(l);
    TntDisposeMatchTransform(t);
    TntCloseProfile(p);
    TntCloseProfile(cmyk);
}

}  // namespace
