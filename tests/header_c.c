/* Compiled as C99: the public header must stay valid C. */
#include "tintwell.h"

typedef char location_is_1024_bytes[sizeof(ProfileLocation) == 1024 ? 1 : -1];
typedef char header_is_128_bytes[sizeof(ProfileHeader) == 128 ? 1 : -1];

uint32_t TntHeaderCheckFromC(void) {
    ProfileLocation location;
    TntMakeMemFile(&location, 0, 0);
    return location.memory.magic == TNT_MEMFILE_MAGIC ? TNT_SIG('L', 'a', 'b', ' ') : 0;
}
