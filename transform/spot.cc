// Spot colours by name. This library carries no spot colour collection, so
// enumeration is unavailable and every lookup misses; the entry points keep
// the contract a collection would fill.
#include <cstring>

#include "tintwell.h"

namespace tnt {

// What one lookup asks for and, on a match, gets back.
struct SpotColorQuery {
    char name[128];
    uint8_t value[4];
};

namespace {

uint32_t TNT_CALL MatchSpotName(uintptr_t context, const char* name, uint8_t* value) {
    auto* query = reinterpret_cast<SpotColorQuery*>(context);
    if (!name || !value || std::strcmp(query->name, name) != 0) return 0;
    std::memcpy(query->value, value, sizeof query->value);
    return 1;
}

}  // namespace

}  // namespace tnt

extern "C" TNT_API TntStatus TNT_CALL TntEnumSpotColors(SpotColorProc, uintptr_t) {
    return TNT_ERR_SPOT_UNAVAILABLE;
}

extern "C" TNT_API TntStatus TNT_CALL TntInitSpotColors(SpotColorProc callback, uintptr_t context) {
    return TntEnumSpotColors(callback, context);
}

extern "C" TNT_API void TNT_CALL TntDeinitSpotColors(void) {}

extern "C" TNT_API TntStatus TNT_CALL TntMatchSpotColor(const char* name, uint8_t* value) {
    // A name that does not fit the 128-byte query cannot be in any collection.
    if (!name || !value || std::strlen(name) >= sizeof(tnt::SpotColorQuery::name)) return TNT_ERR_SPOT_NOT_FOUND;
    tnt::SpotColorQuery query{};
    std::strcpy(query.name, name);
    if (TntEnumSpotColors(tnt::MatchSpotName, reinterpret_cast<uintptr_t>(&query)) != 1)
        return TNT_ERR_SPOT_NOT_FOUND;
    std::memcpy(value, query.value, sizeof query.value);
    return TNT_OK;
}
