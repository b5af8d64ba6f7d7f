/* The layout of a .dfu file as Korvex.dll reads it: the verdict with its reason, the suffix,
 * and a DfuSe image's targets, elements and structural findings. Plain C, so that a caller
 * built with any compiler can use it: each structure starts with its own size, so later
 * versions can add members at the end, and the whole layout is one block that the engine
 * allocates and only KorvexFreeDfuLayout releases. */
#ifndef KORVEX_LAYOUT_H
#define KORVEX_LAYOUT_H

#include <stddef.h>
#include <stdint.h>
#include <wchar.h>

#if defined(_WIN32)
#  define KORVEX_CALL __cdecl
#  if defined(KORVEX_BUILDING)
#    define KORVEX_LAYOUT_API __declspec(dllexport)
#  else
#    define KORVEX_LAYOUT_API __declspec(dllimport)
#  endif
#else
#  define KORVEX_CALL
#  define KORVEX_LAYOUT_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* KorvexDfuLayout.verdict. Only KORVEX_DFU_VALID is a valid file, exactly as
 * Korvex::IsDFUFileValid answers. */
enum {
    KORVEX_DFU_VALID = 0,
    KORVEX_DFU_TOO_SHORT = 1,         /* fewer bytes than a suffix */
    KORVEX_DFU_NO_SUFFIX = 2,         /* no "UFD" signature */
    KORVEX_DFU_UNKNOWN_VERSION = 3,   /* bcdDFU neither 0x0100 nor 0x011A */
    KORVEX_DFU_BAD_SUFFIX_LENGTH = 4, /* bLength below 16 or beyond the file */
    KORVEX_DFU_CRC_MISMATCH = 5,      /* storedCrc and computedCrc differ */
    KORVEX_DFU_UNREADABLE = 6,        /* systemError says why */
    KORVEX_DFU_NOT_ON_THIS_DEVICE = 7 /* a cloud placeholder: nothing was read */
};

/* KorvexDfuLayout.flags */
enum {
    KORVEX_DFU_DFUSE = 0x1, /* a DfuSe image was found and read */
    /* A CRC mismatch whose stored CRC matches the file without its first 16 bytes: an LPC
     * image prefix was put in front after the suffix was written. */
    KORVEX_DFU_CRC_WITHOUT_LPC_PREFIX = 0x2,
    /* Read from the headers only (KorvexReadDfuLayoutHeadersFrom): the suffix passed its
     * checks but no CRC was computed, so KORVEX_DFU_VALID says only that much. */
    KORVEX_DFU_CRC_NOT_CHECKED = 0x4
};

/* KorvexDfuFinding.kind: what is wrong with a DfuSe image without making the file invalid. */
enum {
    KORVEX_FINDING_NO_DFUSE_PREFIX = 1,         /* bcdDFU 0x011A without a "DfuSe" image */
    KORVEX_FINDING_UNKNOWN_DFUSE_VERSION = 2,   /* stated: the image's version */
    KORVEX_FINDING_IMAGE_SIZE = 3,              /* stated: image size; actual: file size */
    KORVEX_FINDING_TARGETS_MISSING = 4,         /* stated: target count; actual: found */
    KORVEX_FINDING_TARGET_OVERRUNS_IMAGE = 5,   /* stated: target end; actual: image end */
    KORVEX_FINDING_ELEMENTS_MISSING = 6,        /* stated: element count; actual: found */
    KORVEX_FINDING_ELEMENT_OVERRUNS_TARGET = 7, /* stated: data end; actual: target end */
    KORVEX_FINDING_ELEMENT_OVERRUNS_IMAGE = 8,  /* stated: data end; actual: image end */
    KORVEX_FINDING_ELEMENTS_OVERLAP = 9,        /* element and otherElement share addresses */
    KORVEX_FINDING_EMPTY_ELEMENT = 10,
    KORVEX_FINDING_TARGET_SLACK = 11,       /* stated: target end; actual: elements' end */
    KORVEX_FINDING_TRAILING_BYTES = 12,     /* stated: image end; actual: targets' end */
    KORVEX_FINDING_ELEMENTS_NOT_LISTED = 13 /* stated: listing limit; actual: unlisted */
};

#define KORVEX_NO_INDEX 0xFFFFFFFFu
/* A vendor, product or release number that the file does not state. */
#define KORVEX_NOT_STATED 0xFFFFu

/* Offsets are from the start of the file, ends one past the last byte. */
typedef struct KorvexDfuElement {
    uint32_t size; /* of this structure */
    uint32_t address;
    uint32_t length; /* bytes of data */
    uint32_t reserved;
    uint64_t dataOffset;
} KorvexDfuElement;

typedef struct KorvexDfuTarget {
    uint32_t size; /* of this structure */
    uint8_t alternateSetting;
    uint8_t named;
    uint16_t nameLength; /* bytes of name, up to its first NUL */
    uint32_t statedSize;
    uint32_t statedElementCount;
    uint32_t elementCount;       /* found in the file */
    uint32_t listedElementCount; /* in elements: fewer only past the engine's listing limit */
    uint64_t offset;             /* of the "Target" prefix */
    const char* name;            /* 8-bit as stored, NUL-terminated */
    const wchar_t* wideName;     /* name converted with KorvexDfuLayout.codePage */
    const KorvexDfuElement* elements;
} KorvexDfuTarget;

typedef struct KorvexDfuFinding {
    uint32_t size; /* of this structure */
    uint32_t kind;
    uint32_t target; /* index, or KORVEX_NO_INDEX */
    uint32_t element;
    uint32_t otherElement;
    uint32_t reserved;
    uint64_t stated;
    uint64_t actual;
} KorvexDfuFinding;

typedef struct KorvexDfuLayout {
    uint32_t size; /* of this structure */
    uint32_t verdict;
    uint32_t systemError; /* for KORVEX_DFU_UNREADABLE */
    uint32_t storedCrc;
    uint32_t computedCrc; /* as a suffix stores it; 0 unless the file was read through */
    uint32_t flags;
    uint64_t fileSize;
    uint16_t dfuVersion;
    uint16_t vendor; /* or KORVEX_NOT_STATED, as product and release */
    uint16_t product;
    uint16_t release;
    uint8_t suffixLength;
    uint8_t dfuseVersion;
    uint8_t statedTargetCount;
    uint8_t reserved;
    uint32_t statedImageSize;
    uint32_t codePage; /* of the wide target names */
    uint32_t targetCount;
    uint32_t findingCount;
    uint32_t unlistedFindings; /* past the engine's listing limit */
    const KorvexDfuTarget* targets;
    const KorvexDfuFinding* findings;
} KorvexDfuLayout;

/* The arrays step by their structures' own size, which may be larger than the caller's. */
static inline const KorvexDfuTarget* KorvexDfuTargetAt(const KorvexDfuLayout* layout, uint32_t index)
{
    return (const KorvexDfuTarget*)((const char*)layout->targets + (size_t)index * layout->targets->size);
}

static inline const KorvexDfuElement* KorvexDfuElementAt(const KorvexDfuTarget* target, uint32_t index)
{
    return (const KorvexDfuElement*)((const char*)target->elements + (size_t)index * target->elements->size);
}

static inline const KorvexDfuFinding* KorvexDfuFindingAt(const KorvexDfuLayout* layout, uint32_t index)
{
    return (const KorvexDfuFinding*)((const char*)layout->findings + (size_t)index * layout->findings->size);
}

/* Results of the reading calls. The verdict on the file is in the layout, not here. */
enum { KORVEX_OK = 0, KORVEX_INVALID_ARGUMENT = 1, KORVEX_OUT_OF_MEMORY = 2, KORVEX_FAILED = 3 };

/* Fills buffer with count bytes from offset; 0 on success, else a system error code that
 * the layout then reports as systemError. */
typedef uint32_t(KORVEX_CALL* KorvexDfuReader)(void* context, uint64_t offset, uint32_t count, void* buffer);

#if defined(_WIN32)
/* Reads the file at path; *layout is null unless the result is KORVEX_OK. */
KORVEX_LAYOUT_API int KORVEX_CALL KorvexReadDfuLayout(const wchar_t* path, KorvexDfuLayout** layout);
/* Reads size bytes through reader, in order from the start after one read of the suffix. */
KORVEX_LAYOUT_API int KORVEX_CALL KorvexReadDfuLayoutFrom(uint64_t size, KorvexDfuReader reader, void* context,
                                                          KorvexDfuLayout** layout);
/* The same layout from the suffix and the DfuSe headers alone: every element's data is
 * skipped, no CRC is computed, and a suffix that passes its checks gives KORVEX_DFU_VALID
 * with KORVEX_DFU_CRC_NOT_CHECKED. Reads go forward but not in one run. */
KORVEX_LAYOUT_API int KORVEX_CALL KorvexReadDfuLayoutHeadersFrom(uint64_t size, KorvexDfuReader reader, void* context,
                                                                 KorvexDfuLayout** layout);
/* How KorvexReadDfuLayoutOfItem reads: the whole file, or its headers alone. */
enum { KORVEX_READ_WHOLE = 0, KORVEX_READ_HEADERS = 1 };

/* As KorvexReadDfuLayoutFrom (or, with KORVEX_READ_HEADERS, KorvexReadDfuLayoutHeadersFrom),
 * for bytes of the file at path (a full path, or null where the caller knows none): a file
 * whose attributes say it is not on this device is not read through reader at all, and the
 * layout's verdict says so. */
KORVEX_LAYOUT_API int KORVEX_CALL KorvexReadDfuLayoutOfItem(const wchar_t* path, uint32_t how, uint64_t size,
                                                            KorvexDfuReader reader, void* context,
                                                            KorvexDfuLayout** layout);
/* Releases a layout of the reading calls; null is ignored. */
KORVEX_LAYOUT_API void KORVEX_CALL KorvexFreeDfuLayout(KorvexDfuLayout* layout);

/* What Korvex::IsDFUFileValid last found for this exact path within the last minute: 1 valid,
 * 0 invalid, else KORVEX_NOT_REMEMBERED (never checked, checked too long ago, the file had
 * changed too recently to be sure of, or could not be read). Consults memory only: no file
 * is opened or queried, so a caller that must not wait on a disk or network may ask. */
#  define KORVEX_NOT_REMEMBERED (-1)
KORVEX_LAYOUT_API int KORVEX_CALL KorvexRememberedValidity(const wchar_t* path);
#endif

#ifdef __cplusplus
}
#endif

#endif /* KORVEX_LAYOUT_H */
