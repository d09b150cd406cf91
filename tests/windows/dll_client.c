/* A Windows host of tintwell.dll, built against its import library with
 * nothing but the public header: it loads a profile from a movable global
 * memory block, writes a colour rendering dictionary from it and checks
 * that the DLL answers to its plain export names.
 *   dll_client PROFILE
 * Prints one line and exits 0 when every step worked. */
#include <stdio.h>
#include <string.h>
#include <windows.h>

#include "tintwell.h"

static TntStatus TNT_CALL CountText(uintptr_t user, const char* text) {
    *(size_t*)user += strlen(text);
    return TNT_OK;
}

static int Fail(const char* what, unsigned value) {
    printf("dll_client: %s (%u)\n", what, value);
    return 1;
}

int main(int argc, char** argv) {
    static const char* const names[] = {"TntOpenProfile", "TntSaveCRD", "SetColorControls", "TntMakeMemFile"};
    HMODULE dll = GetModuleHandleA("tintwell.dll");
    FILE* file;
    long size;
    HGLOBAL handle;
    void* bytes;
    ProfileLocation where;
    Profile* profile = NULL;
    uint32_t tags = 0;
    size_t text = 0;
    TntStatus status;
    unsigned i;

    if (argc != 2) return Fail("usage: dll_client PROFILE", 0);
    if (!dll) return Fail("tintwell.dll is not loaded", 0);
    for (i = 0; i < sizeof names / sizeof names[0]; ++i)
        if (!GetProcAddress(dll, names[i])) return Fail(names[i], i);

    file = fopen(argv[1], "rb");
    if (!file) return Fail("cannot open the profile", 0);
    fseek(file, 0, SEEK_END);
    size = ftell(file);
    fseek(file, 0, SEEK_SET);
    handle = GlobalAlloc(GMEM_MOVEABLE, (SIZE_T)size);
    bytes = handle ? GlobalLock(handle) : NULL;
    if (!bytes || fread(bytes, 1, (size_t)size, file) != (size_t)size) return Fail("cannot read the profile", 0);
    fclose(file);
    GlobalUnlock(handle);

    TntMakeMemFile(&where, NULL, (uint32_t)size);
    where.memory.handle = handle;
    status = TntOpenProfile(&profile, &where);
    if (status != TNT_OK) return Fail("TntOpenProfile", status);
    if (GlobalFlags(handle) & GMEM_LOCKCOUNT) return Fail("the block stays locked", GlobalFlags(handle));
    status = TntCountProfileElements(profile, &tags);
    if (status != TNT_OK || tags == 0) return Fail("TntCountProfileElements", status);
    status = TntSaveCRD(profile, TNT_INTENT_RELATIVE, CountText, (uintptr_t)&text);
    if (status != TNT_OK || text == 0) return Fail("TntSaveCRD", status);
    if (GlobalFlags(handle) & GMEM_LOCKCOUNT) return Fail("the block stays locked", GlobalFlags(handle));
    TntCloseProfile(profile);
    GlobalFree(handle);
    printf("dll_client: %u tags, %u bytes of dictionary text\n", (unsigned)tags, (unsigned)text);
    return 0;
}
