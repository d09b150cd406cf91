// TntSaveCRD: the frame of the dictionary (type, intent, white point,
// TransformPQR) around the table or matrix body.
#include "postscript/crd.h"
#include "postscript/number_format.h"
#include "profile/elements.h"

namespace tnt {

namespace {

constexpr uint32_t kAbsoluteColorimetric = 3;

struct IntentChoice {
    const char* name;
    uint32_t table;
};

// Absolute colorimetric renders through the relative table and scales by
// the white points in TransformPQR.
constexpr IntentChoice kIntents[4] = {
    {"Perceptual", TNT_SIG('B', '2', 'A', '0')},
    {"RelativeColorimetric", TNT_SIG('B', '2', 'A', '1')},
    {"Saturation", TNT_SIG('B', '2', 'A', '2')},
    {"AbsoluteColorimetric", TNT_SIG('B', '2', 'A', '1')},
};

bool HasTag(Profile* profile, uint32_t tag) {
    uint32_t exists = 0;
    return TntProfileElementExists(profile, tag, &exists) == TNT_OK && exists;
}

TntStatus WriteWhitePoint(Profile* profile, CrdWriteProc write, uintptr_t user) {
    double white[3];
    if (TntStatus st = ReadXYZTag(profile, TNT_SIG('w', 't', 'p', 't'), white)) return st;
    if (white[1] < 0.001) return TNT_ERR_WHITE_POINT;
    if (TntStatus st = write(user, "/WhitePoint [")) return st;
    static const char* const kSuffix[3] = {" ", " ", "]\n"};
    for (int i = 0; i < 3; ++i) {
        if (TntStatus st = WriteCrdNumber(white[i] / white[1], 4, write, user, kSuffix[i])) return st;
    }
    return TNT_OK;
}

TntStatus WriteTransformPQR(uint32_t intent, CrdWriteProc write, uintptr_t user) {
    if (TntStatus st = write(user, "/TransformPQR [\n")) return st;
    if (intent != kAbsoluteColorimetric) return write(user, "{4 { exch pop } repeat } bind dup dup ]\n");
    // Each component scaled by source white over destination white.
    for (int k = 0; k < 3; ++k) {
        const NumberText digit = FormatInteger(k);
        char text[96] = "{4 index ";
        const char* pieces[] = {digit.text, " get mul 2 index ", digit.text, " get div 4 { exch pop } repeat } bind",
                                k < 2 ? "\n" : "]\n"};
        size_t length = 9;
        for (const char* piece : pieces) {
            for (const char* c = piece; *c; ++c) text[length++] = *c;
        }
        text[length] = '\0';
        if (TntStatus st = write(user, text)) return st;
    }
    return TNT_OK;
}

}  // namespace

}  // namespace tnt

using namespace tnt;

extern "C" TNT_API TntStatus TNT_CALL TntSaveCRD(Profile* profile, uint32_t intent, CrdWriteProc write,
                                                 uintptr_t user) {
    const uint32_t space = GetProfileColorSpace(profile);
    if (space != TNT_SIG('C', 'M', 'Y', 'K') && space != TNT_SIG('R', 'G', 'B', ' ')) {
        return TNT_ERR_UNSUPPORTED_SPACE;
    }
    if (!write) return TNT_ERR_NULL_PARAMETER;
    if (TntStatus st = write(user, "<<\n")) return st;
    if (TntStatus st = write(user, "/ColorRenderingType 1\n")) return st;
    if (TntStatus st = write(user, "/RenderingIntent /")) return st;
    if (intent > kAbsoluteColorimetric) return TNT_ERR_NULL_PARAMETER;
    if (TntStatus st = write(user, kIntents[intent].name)) return st;
    if (TntStatus st = write(user, "\n")) return st;

    // The intent's own table, else the perceptual one, else the colorants.
    uint32_t tableTag = kIntents[intent].table;
    if (!HasTag(profile, tableTag)) tableTag = TNT_SIG('B', '2', 'A', '0');
    const bool withTable = HasTag(profile, tableTag);
    CrdTable table{};
    if (withTable) {
        if (TntStatus st = ReadCrdTable(profile, tableTag, &table)) return st;
    }

    TntStatus st = WriteWhitePoint(profile, write, user);
    if (!st) st = WriteTransformPQR(intent, write, user);
    if (!st) st = withTable ? WriteTableBody(profile, table, write, user) : WriteMatrixBody(profile, write, user);
    if (withTable) ReleaseCrdTable(&table);
    return st ? st : write(user, ">>\n");
}
