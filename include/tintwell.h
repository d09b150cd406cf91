/*
 * Tintwell colour-management library: public C interface.
 *
 * This header compiles as C99 and as C++. Every function returns a 16-bit
 * status (0 = success) unless its comment says otherwise; statuses travel
 * back unchanged, so the first failing step's status is the result.
 *
 * Calling convention: on 32-bit Windows every exported function and every
 * callback type is __stdcall (TNT_CALL); elsewhere the platform default.
 *
 * Threads: the library starts no threads and takes no locks. Profiles and
 * transforms belong to one caller at a time.
 */
#ifndef TINTWELL_H
#define TINTWELL_H

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32) && !defined(_WIN64)
#define TNT_CALL __stdcall
#else
#define TNT_CALL
#endif

#if defined(_WIN32)
#if defined(TNT_BUILDING_LIBRARY)
#define TNT_API __declspec(dllexport)
#else
#define TNT_API
#endif
#elif defined(__GNUC__)
#define TNT_API __attribute__((visibility("default")))
#else
#define TNT_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---------------------------------------------------------------- types */

typedef uint16_t TntStatus;
typedef uint32_t TntSignature;

/* A four-character code, first character in the most significant byte:
   TNT_SIG('L','a','b',' ') == 0x4C616220. */
#define TNT_SIG(a, b, c, d)                                              \
    ((TntSignature)(((uint32_t)(uint8_t)(a) << 24) |                     \
                    ((uint32_t)(uint8_t)(b) << 16) |                     \
                    ((uint32_t)(uint8_t)(c) << 8) | (uint32_t)(uint8_t)(d)))

/* ------------------------------------------------------------- statuses */

#define TNT_OK 0
#define TNT_ERR_NULL_ARGUMENT 2001       /* required profile, transform, link, location or out-argument is null */
#define TNT_ERR_SEEK 3002                /* a file seek failed */
#define TNT_ERR_SHORT_READ 3003          /* a read transferred fewer bytes than asked */
#define TNT_ERR_SHORT_WRITE 3004         /* a write transferred fewer bytes, or does not fit a memory block */
#define TNT_ERR_SIZE_QUERY 3005          /* the size query of a file stream failed */
#define TNT_ERR_CANNOT_OPEN_PROFILE 5001 /* no memory for the profile, or the location cannot be read */
#define TNT_ERR_TAG_NOT_FOUND 5005       /* tag absent or unloadable; required lookup table absent */
#define TNT_ERR_GRAY_PCS 5007            /* gray stage's profile PCS is neither 'Lab ' nor 'XYZ ' */
#define TNT_ERR_PROFILE_CLASS 5008       /* class not scnr, mntr, prtr, spac, abst or link */
#define TNT_ERR_PROFILE_TOO_SHORT 5010   /* stored profile is 128 bytes or shorter */
#define TNT_ERR_PROFILE_SIZE 5012        /* header size field exceeds the stored data */
#define TNT_ERR_NOT_ICC 5013             /* file signature is not 'acsp' */
#define TNT_ERR_PROFILE_VERSION 5014     /* profile version 5 or later: not supported */
#define TNT_ERR_TAG_RANGE 5015           /* partial tag access outside the tag */
#define TNT_ERR_PCS_INPUT 5030           /* PCS neither XYZ nor Lab: input profile */
#define TNT_ERR_PCS_DISPLAY 5031         /* ... display profile */
#define TNT_ERR_PCS_OUTPUT 5032          /* ... output profile */
#define TNT_ERR_PCS_COLORSPACE 5033      /* ... colour space profile */
#define TNT_ERR_PCS_ABSTRACT 5034        /* ... abstract profile */
#define TNT_ERR_SPACE_INPUT 5040         /* data space not supported by an input profile */
#define TNT_ERR_SPACE_DISPLAY 5041       /* data space not supported by a display profile */
#define TNT_ERR_ABSTRACT_DEVICE 5044     /* abstract profile with a device data space */
#define TNT_ERR_TAG_MISSING_INPUT 5050   /* required tag missing: input profile */
#define TNT_ERR_TAG_MISSING_DISPLAY 5051
#define TNT_ERR_TAG_MISSING_OUTPUT 5052
#define TNT_ERR_TAG_MISSING_COLORSPACE 5053
#define TNT_ERR_TAG_MISSING_ABSTRACT 5054
#define TNT_ERR_TAG_MISSING_LINK 5055
#define TNT_ERR_CANNOT_SAVE 5067         /* a tag cannot be loaded, or the location cannot be written */
#define TNT_ERR_STAGE_KIND 6001          /* a stage whose kind is not 1 to 5 was applied */
#define TNT_ERR_CHAIN_MISMATCH 6003      /* adjacent spaces differ, or a profile cannot run that way */
#define TNT_ERR_TOO_MANY_STAGES 6010     /* more than ten stages */
#define TNT_ERR_OUTPUT_CURVES 6022       /* output curves applied to a colour of another channel count */
#define TNT_ERR_PLANAR_NOT_8BIT 7004     /* planar conversion of a link that is not 8-bit */
#define TNT_ERR_UNKNOWN_INTENT 8001      /* intent unknown to lookup-table stages */
#define TNT_ERR_SPOT_NOT_FOUND 20001
#define TNT_ERR_NULL_PARAMETER 20003     /* required stream, buffer, stage, profile, transform or write function is null */
#define TNT_ERR_SPOT_UNAVAILABLE 20005
#define TNT_ERR_WHITE_POINT 20103        /* white point Y below 0.001 (PostScript output) */
#define TNT_ERR_SINGULAR_MATRIX 20104
#define TNT_ERR_CANNOT_OPEN_STREAM 20204 /* empty or unterminated path, mode not 1 to 4, missing file */
#define TNT_ERR_STREAM_MODE 20211        /* a memory stream's mode forbids the access */
#define TNT_ERR_UNSUPPORTED_SPACE 20704
#define TNT_ERR_NO_MEMORY 21002          /* memory exhausted, or a profile directory is full */

/* ------------------------------------------------------ profile locations */

/* Value of the first four bytes (host order) of a memory location. */
#define TNT_MEMFILE_MAGIC 0xFBDCE453u

/* Stream access modes kept in a memory location's mode field. */
#define TNT_MODE_READ 1
#define TNT_MODE_WRITE 2
#define TNT_MODE_READ_WRITE 3
#define TNT_MODE_APPEND 4

/* The memory form of a location. Offsets on 32-bit hosts are those of the
   ICC-era record (file 32, pointer 36, handle 40); on 64-bit hosts the three
   pointer fields widen and the record stays 1024 bytes. */
typedef struct MemoryLocation {
    uint32_t magic;      /* TNT_MEMFILE_MAGIC */
    uint32_t mode;       /* mode of the stream last opened on the location */
    uint32_t size;       /* length of the block in bytes */
    uint32_t position;   /* current position; 0 after TntMakeMemFile */
    char name[8];        /* "MemFile" */
    uint8_t reserved1[8];
    void* file;          /* open file of a file stream; null in a memory location */
    void* pointer;       /* first byte of the block */
    void* handle;        /* movable global memory handle, or null; used instead of pointer */
    uint8_t reserved2[1024 - 32 - 3 * sizeof(void*)];
} MemoryLocation;

/* A profile named by file path (NUL-terminated, at most 1023 characters) or
   by memory block. Arrays of locations are laid 1024 bytes apart. */
typedef union ProfileLocation {
    char path[1024];
    MemoryLocation memory;
    uint8_t bytes[1024];
} ProfileLocation;

/* ---------------------------------------------------------------- header */

/* The 128-byte ICC header in host byte order. */
typedef struct ProfileHeader {
    uint32_t size;
    TntSignature cmmType;
    uint32_t version;
    TntSignature deviceClass;
    TntSignature colorSpace;
    TntSignature pcs;
    uint16_t date[6];        /* year, month, day, hour, minute, second */
    TntSignature signature;  /* 'acsp' */
    TntSignature platform;
    uint32_t flags;
    TntSignature manufacturer;
    uint32_t model;
    uint64_t attributes;     /* device attributes as one 64-bit value */
    uint32_t renderingIntent;
    int32_t illuminant[3];   /* s15Fixed16 X, Y, Z */
    TntSignature creator;
    uint8_t reserved[44];
} ProfileHeader;

/* Opaque handles. */
typedef struct Profile Profile;

/* ------------------------------------------------------------- profiles */

/* Fills a memory location for `size` bytes at `pointer` (mode 3, position 0,
   no handle). Returns 0; does nothing when `location` is null. To name a
   movable block, set `memory.handle` afterwards. */
TNT_API TntStatus TNT_CALL TntMakeMemFile(ProfileLocation* location, void* pointer, uint32_t size);

/* Creates an empty profile, bound to `location` when it is given (copied;
   nothing is read). 21002 when memory is short. */
TNT_API TntStatus TNT_CALL TntNewProfile(Profile** out, const ProfileLocation* location);

/* Opens the profile stored at `location`: reads the header and the tag
   table, loads no tag data. The caller's record is not changed.
   20003 null argument; 5001 cannot be read; 5010 not longer than 128 bytes;
   5012 header size beyond the data; 5013 not 'acsp'; 5014 a profile version
   of 5 or later (a layout this library does not read); 21002 no memory or more
   than 100 tags; stream statuses (3002/3003/3005) as they come. On failure
   `*out` is untouched and nothing is kept.
   The file or block must stay unchanged until every tag is loaded or the
   profile is closed: tags are read lazily. A tag whose offset and size reach
   past the stored data fails to load with 3003, before anything is allocated. */
TNT_API TntStatus TNT_CALL TntOpenProfile(Profile** out, const ProfileLocation* location);

/* Frees the profile and every tag block (shared blocks once). Null is fine. */
TNT_API TntStatus TNT_CALL TntCloseProfile(Profile* profile);

/* Writes the whole profile to `location` (which may be the very file or
   block it was read from). 2001 null argument; 5067 a tag cannot be loaded,
   the layout exceeds 4 GiB, or the location cannot be opened for writing;
   3004 the data does not fit a memory block or a write failed. The profile is
   intact afterwards, whatever the result. */
TNT_API TntStatus TNT_CALL TntSaveProfile(Profile* profile, ProfileLocation* location);

/* Saves to the profile's own location when it is modified and bound. */
TNT_API TntStatus TNT_CALL TntUpdateProfile(Profile* profile);

/* ------------------------------------------------------------ tag access

   Byte order of tag data. ICC files store every number big-endian. Tags of
   the types 'XYZ ', 'bfd ', 'curv', 'data', 'desc', 'dtim', 'meas', 'mft1',
   'mft2', 'ncl2', 'ncol', 'pseq', 'scrn', 'sf32' (so 'chad'), 'sig ', 'text'
   and 'view' are converted to host order when they are loaded and back when
   the profile is saved, so every get (whole, partial, by pointer) hands them
   out and every set takes them in host order. Every other type, including
   the ICC v4 types 'para', 'mAB ', 'mBA ', 'mluc', 'dict' and 'vcgt', is
   handed out and taken as stored in the file (big-endian), except for its
   first four bytes, the type signature, which are in host order for every
   tag. Their elements sit at offsets that may overlap or be shared, which a
   conversion in place could not undo exactly; left as stored, they pass
   through open and save byte for byte. */

TNT_API TntStatus TNT_CALL TntProfileElementExists(Profile* profile, TntSignature tag, uint32_t* exists);
TNT_API TntStatus TNT_CALL TntCountProfileElements(Profile* profile, uint32_t* count);
/* Size in bytes of the tag; 0 for a null profile or an absent tag. */
TNT_API uint32_t TNT_CALL TntGetProfileElementSize(Profile* profile, TntSignature tag);
/* The tag's data (host order) inside the profile, loaded on demand; null when
   absent or unloadable. Valid until the tag is resized or removed. */
TNT_API void* TNT_CALL TntProfileGetTagDataPtr(Profile* profile, TntSignature tag);
TNT_API TntStatus TNT_CALL TntGetProfileHeader(Profile* profile, void* header);
TNT_API TntStatus TNT_CALL TntSetProfileHeader(Profile* profile, const void* header);
TNT_API TntStatus TNT_CALL TntGetProfileElement(Profile* profile, TntSignature tag, uint32_t* size, void* buffer);
TNT_API TntStatus TNT_CALL TntGetPartialProfileElement(Profile* profile, TntSignature tag, uint32_t offset,
                                                       uint32_t* count, void* buffer);
TNT_API TntStatus TNT_CALL TntSetProfileElement(Profile* profile, TntSignature tag, uint32_t size,
                                                const void* buffer);
TNT_API TntStatus TNT_CALL TntSetPartialProfileElement(Profile* profile, TntSignature tag, uint32_t offset,
                                                       uint32_t count, const void* buffer);
TNT_API TntStatus TNT_CALL TntSetProfileElementSize(Profile* profile, TntSignature tag, uint32_t size);
TNT_API TntStatus TNT_CALL TntSetProfileElementReference(Profile* profile, TntSignature existing,
                                                         TntSignature tag);
TNT_API TntStatus TNT_CALL TntRemoveProfileElement(Profile* profile, TntSignature tag);
/* Records three values process-wide; the library itself never reads them. */
TNT_API void TNT_CALL TntSetUserFunc(uint32_t a, uint32_t b, uint32_t c);

/* ----------------------------------------------------- transforms, matching */

typedef struct MatchTransform MatchTransform;

/* The transform's hook: called before every stage with the stage index and
   once after the last (index == count), with the colour's current space and
   its eight 16-bit working channels, which it may change in place. The
   result is ignored. */
typedef uint32_t(TNT_CALL* ColorManipulationProc)(uint16_t index, uint16_t count, TntSignature space,
                                                  uint16_t* color, uintptr_t userData);
/* Called once with the user data when the transform is disposed. */
typedef uint32_t(TNT_CALL* ColorManipulationDispose)(uintptr_t userData);

/* Rendering intents; 0xFFFF in an intent list means the profile's own. */
#define TNT_INTENT_PERCEPTUAL 0
#define TNT_INTENT_RELATIVE 1
#define TNT_INTENT_SATURATION 2
#define TNT_INTENT_ABSOLUTE 3
#define TNT_INTENT_PERCEPTUAL_ABSOLUTE_WHITE 1028
#define TNT_INTENT_FROM_PROFILE 0xFFFF

/* A new, empty transform; null when memory is short. */
TNT_API MatchTransform* TNT_CALL TntNewTransformPtr(void);
/* Calls the dispose proc, releases the stages (closing the profiles the
   transform opened itself) and frees the transform. 2001 for null. */
TNT_API TntStatus TNT_CALL TntDisposeMatchTransform(MatchTransform* transform);
/* Opens `count` locations (laid 1024 bytes apart) and chains them; the
   transform owns and closes those profiles. `sourceSpace`/`destinationSpace`
   may be 0; `intents` may be null or hold `count` intents. */
TNT_API TntStatus TNT_CALL TntConcatProfiles(MatchTransform* transform, TntSignature sourceSpace,
                                             TntSignature destinationSpace, int16_t count,
                                             const ProfileLocation* locations, const uint16_t* intents);
/* The same with open profiles, which stay the caller's and must outlive
   the transform. */
TNT_API TntStatus TNT_CALL TntConcatProfileRefs(MatchTransform* transform, TntSignature sourceSpace,
                                                TntSignature destinationSpace, int16_t count, Profile** profiles,
                                                const uint16_t* intents);
TNT_API void TNT_CALL TntUseColorManipulation(MatchTransform* transform, ColorManipulationProc proc,
                                              ColorManipulationDispose dispose, uintptr_t userData);
TNT_API TntSignature TNT_CALL TntTransGetSrcSpace(MatchTransform* transform);
TNT_API TntSignature TNT_CALL TntTransGetDstSpace(MatchTransform* transform);

/* One colour through the whole chain. `depth` 1: 8-bit channels; any other
   value: 16-bit channels in host order. */
TNT_API TntStatus TNT_CALL TntICCSingleMatchProc(const void* source, void* destination, MatchTransform* transform,
                                                 int16_t depth);
/* A run of `count` colours; the strides are (channels + extra) x depth bytes.
   Stops at the first failing colour and returns its status. */
TNT_API TntStatus TNT_CALL TntICCMatchColors(MatchTransform* transform, uint32_t reserved, const void* source,
                                             void* destination, int32_t count, int16_t sourceChannels,
                                             int16_t destinationChannels, int16_t sourceExtra,
                                             int16_t destinationExtra, int16_t depth);

/* Black preservation for CMYK-to-CMYK transforms: `parameters[1]` is the
   black threshold in percent (parameters[0] is not read). Always 0. */
TNT_API TntStatus TNT_CALL TntSetPreserveBlack(MatchTransform* transform, const double* parameters);

/* Spot colours: this library carries no spot colour collection. An
   enumerator callback returns 1 to stop at a match. */
typedef uint32_t(TNT_CALL* SpotColorProc)(uintptr_t context, const char* name, uint8_t* value);
TNT_API TntStatus TNT_CALL TntInitSpotColors(SpotColorProc callback, uintptr_t context);
TNT_API TntStatus TNT_CALL TntEnumSpotColors(SpotColorProc callback, uintptr_t context);
TNT_API void TNT_CALL TntDeinitSpotColors(void);
/* 20001 when the name is not found (always, here); `value` gets 4 bytes. */
TNT_API TntStatus TNT_CALL TntMatchSpotColor(const char* name, uint8_t* value);

/* ------------------------------------------------------- colour controls */

/* Process-wide lightness, contrast, chroma and a/b shifts, each nominally
   -100 to 100 (0 neutral), applied in Lab once per colour by the
   manipulation callback that link building installs. Not thread-safe: the
   callbacks keep per-colour state in process-wide latches. */
TNT_API void TNT_CALL SetColorControls(int16_t lightness, int16_t contrast, int16_t chroma, int16_t abShift,
                                       int16_t aShift, int16_t bShift);
/* Returns the stored flag (1 when `enable` is non-zero). */
TNT_API uint16_t TNT_CALL EnableColorControls(uint16_t enable);
/* Replaces the process-wide callback and its user data; returns the old
   callback. */
TNT_API ColorManipulationProc TNT_CALL SetColorManipulationFunction(ColorManipulationProc callback,
                                                                    uintptr_t userData);
/* ------------------------------------------------------------ PostScript */

/* Receives the dictionary text piece by piece: `text` is NUL-terminated and
   `user` is the caller's value passed through unchanged. Return 0 to go on;
   any other status ends the operation and comes back as its result. */
typedef TntStatus (TNT_CALL* CrdWriteProc)(uintptr_t user, const char* text);

/* Writes a PostScript colour rendering dictionary (type 1) for `intent`
   (0 perceptual, 1 relative colorimetric, 2 saturation, 3 absolute
   colorimetric) of an RGB or CMYK output profile, from its B2A table or,
   without one, from its colorants and tone curves. The text goes out through
   `write` only; numbers are written with '.' whatever the process locale.
   20704 the data space is neither 'RGB ' nor 'CMYK' (or a null profile);
   20003 null `write` or an unknown intent; 20103 white point Y below 0.001;
   20104 colorant matrix singular; 5005 a needed tag is absent or unloadable,
   or the table is unusable (not 'mft1'/'mft2', inputs other than 3, fewer
   than 2 grid points or curve entries, no outputs); 5015 a tag is shorter
   than its own counts say; 21002 no memory; or the write function's status.
   On failure the text written so far is not a complete dictionary. */
TNT_API TntStatus TNT_CALL TntSaveCRD(Profile* profile, uint32_t intent, CrdWriteProc write, uintptr_t user);

/* ---------------------------------------------------------- device links */

/* A transform sampled into input curves, a grid and output curves. */
typedef struct ProfLink ProfLink;

/* Called after pixel `index` (0, 1024, 2048, ...) of `count` is stored. The
   low 16 bits of the result are the status of the conversion; a non-zero
   result does not stop it. */
typedef uint32_t(TNT_CALL* LinkProgressProc)(int32_t index, int32_t count);

/* The link options word, built with SetOptions and read with GetOptions.
   Options: 0 first intent and 1 second intent passed on by
   TntCreateMatchTransformation (0 to 6; GetOptions gives 65535 when not
   set), 2 precision (0: 8-bit link, 1: 16-bit link), 3 grid quality (0 to 7,
   0 meaning 7), 4 two bits kept for the caller. Bits 12 to 31 are never
   touched. */
#define TNT_OPTION_INTENT_1 0
#define TNT_OPTION_INTENT_2 1
#define TNT_OPTION_PRECISION 2
#define TNT_OPTION_GRID_QUALITY 3
#define TNT_OPTION_USER 4
TNT_API uint32_t TNT_CALL GetOptions(uint32_t which, uint32_t options);
TNT_API uint32_t TNT_CALL SetOptions(uint32_t options, uint32_t which, uint32_t value);

/* Samples a built transform into a new link (*link is null on failure).
   2001 for a null transform or out-argument; 20704 for a source or
   destination with more than eight channels; 21002 when memory is short or
   the grid would exceed 4 GiB; a sampling failure's status as it comes. The
   transform stays the caller's. */
TNT_API TntStatus TNT_CALL TntMatchTrans2Link(MatchTransform* transform, uint32_t options, ProfLink** link);
/* Chains up to three profile files (source, middle, destination; any may be
   null) with the intents of options 0 and 1, and installs the process-wide
   colour manipulation when colour controls are enabled. A path of 1024
   bytes or more gives 5001. */
TNT_API TntStatus TNT_CALL TntCreateMatchTransformation(MatchTransform* transform, const char* sourcePath,
                                                        const char* destinationPath, const char* middlePath,
                                                        uint32_t options, uint32_t reserved1, uint32_t reserved2,
                                                        uint32_t reserved3, uint32_t reserved4);
TNT_API TntStatus TNT_CALL TntDeleteMatchTransformation(MatchTransform* transform);
/* The convenience builders: each builds a transform, samples it and
   disposes of it before returning. */
TNT_API TntStatus TNT_CALL TntNewProfLink(const char* sourcePath, const char* destinationPath,
                                          const char* middlePath, uint32_t options, ProfLink** link);
TNT_API TntStatus TNT_CALL TntProfiles2Link(TntSignature sourceSpace, TntSignature destinationSpace, int16_t count,
                                            const ProfileLocation* locations, const uint16_t* intents,
                                            uint32_t options, ProfLink** link);
/* `controls`: six int16 values (lightness, contrast, chroma, abShift,
   aShift, bShift; -100 to 100) sampled into the link, or null. */
TNT_API TntStatus TNT_CALL TntProfiles2LinkWithControls(TntSignature sourceSpace, TntSignature destinationSpace,
                                                        int16_t count, const ProfileLocation* locations,
                                                        const uint16_t* intents, uint32_t options,
                                                        const int16_t* controls, ProfLink** link);
TNT_API TntStatus TNT_CALL TntBuildLink(TntSignature sourceSpace, TntSignature destinationSpace, int16_t count,
                                        const ProfileLocation* locations, const uint16_t* intents,
                                        uint32_t options, ColorManipulationProc manipulation, uintptr_t userData,
                                        ProfLink** link);
TNT_API TntStatus TNT_CALL TntBuildLinkFromProfileRefs(TntSignature sourceSpace, TntSignature destinationSpace,
                                                       int16_t count, Profile** profiles, const uint16_t* intents,
                                                       uint32_t options, ColorManipulationProc manipulation,
                                                       uintptr_t userData, ProfLink** link);
/* The link's source and destination spaces; 0x7FFFFFFF for null. */
TNT_API TntSignature TNT_CALL TntLinkSourceType(ProfLink* link);
TNT_API TntSignature TNT_CALL TntLinkDestType(ProfLink* link);
/* Frees the link and its tables; null is fine. Always 0. */
TNT_API TntStatus TNT_CALL TntDisposeProfLink(ProfLink* link);

/* Converts `count` interleaved pixels through the link: 8-bit samples for an
   8-bit link, 16-bit host-order samples for a 16-bit link. After the channels
   of each pixel, `sourceExtra` samples are skipped and `destinationExtra`
   samples are left as they are. `reserved` is not read. Returns 2001 for a
   null link or one without a table, else the low 16 bits of the last
   progress result (0 without progress calls).
   In place: the destination may start at the source when no destination
   pixel reaches into a later source pixel (for example equal channel counts
   and extras); the repeat test keeps its own copy of the last pixel and
   never re-reads the run. Other overlaps are not supported. */
TNT_API TntStatus TNT_CALL TntLinkMatchColors(ProfLink* link, int32_t count, const void* source, void* destination,
                                              int16_t sourceExtra, int16_t destinationExtra, uint32_t reserved,
                                              LinkProgressProc progress);

/* Converts `count` pixels of an 8-bit link whose channels lie in separate
   planes: one pointer per channel, successive samples `sourceStep` and
   `destinationStep` bytes apart. The caller's pointer arrays are not changed.
   Each pixel is read completely before it is written, so destination planes
   may be the source planes. The progress result is ignored. 2001 for a null
   link; 7004 for a link without a table or one that is not 8-bit. */
TNT_API TntStatus TNT_CALL TntLinkMatchColorPlanes(ProfLink* link, int32_t count, const uint8_t* const* sourcePlanes,
                                                   int32_t sourceStep, uint8_t* const* destinationPlanes,
                                                   int32_t destinationStep, LinkProgressProc progress);

#ifdef __cplusplus
}
#endif

#endif /* TINTWELL_H */
