/* Making a .dfu file from firmware, as Korvex.dll offers it to the shell extension: the same
 * engine and the same bytes as `dfutool make`, with progress, a way to stop, and the reason
 * of a refusal as text. Plain C, each structure starting with its own size, like the
 * layout interface beside it. */
#ifndef KORVEX_MAKE_H
#define KORVEX_MAKE_H

#include <stddef.h>
#include <stdint.h>
#include <wchar.h>

#if defined(_WIN32)
#  define KORVEX_MAKE_CALL __cdecl
#  if defined(KORVEX_BUILDING)
#    define KORVEX_MAKE_API __declspec(dllexport)
#  else
#    define KORVEX_MAKE_API __declspec(dllimport)
#  endif
#else
#  define KORVEX_MAKE_CALL
#  define KORVEX_MAKE_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* KorvexMakeInput.kind */
enum {
    KORVEX_INPUT_BINARY = 0,    /* raw bytes placed at address */
    KORVEX_INPUT_INTEL_HEX = 1, /* addresses from its records */
    KORVEX_INPUT_S_RECORDS = 2
};

/* KorvexMakeRequest.format */
enum {
    KORVEX_MAKE_PLAIN = 0, /* one binary input followed by a suffix (dfutool make --image) */
    KORVEX_MAKE_DFUSE = 1  /* one target holding every input, one element per contiguous run */
};

/* KorvexMakeDfuFile's answers */
enum {
    KORVEX_MAKE_DONE = 0,
    KORVEX_MAKE_INVALID = 1,   /* an input is broken or breaks a limit of the format */
    KORVEX_MAKE_USAGE = 2,     /* the request cannot be carried out (output exists, is an input) */
    KORVEX_MAKE_IO = 3,        /* the system refused a read or a write */
    KORVEX_MAKE_CANCELLED = 4, /* the progress callback asked to stop; nothing was left */
    KORVEX_MAKE_NO_MEMORY = 5,
    KORVEX_MAKE_BAD_REQUEST = 6 /* a null pointer, a size or a kind this library does not know */
};

typedef struct KorvexMakeInput {
    uint32_t size; /* of this structure */
    uint32_t kind;
    const wchar_t* path;
    uint32_t address; /* of a binary in a DfuSe file */
    uint32_t reserved;
} KorvexMakeInput;

typedef struct KorvexMakeRequest {
    uint32_t size; /* of this structure */
    uint32_t format;
    uint16_t vendor, product, release; /* KORVEX_NOT_STATED (0xFFFF) where none is stated */
    uint8_t alternateSetting;          /* DfuSe */
    uint8_t named;                     /* DfuSe: nonzero when the target carries targetName */
    const char* targetName;            /* UTF-8, at most 255 bytes */
    const KorvexMakeInput* inputs;
    uint32_t inputCount;
    uint32_t replace; /* nonzero: an existing output is replaced */
    const wchar_t* output;
} KorvexMakeRequest;

/* Called as the file is written: done of total bytes. A nonzero answer stops the make. */
typedef int(KORVEX_MAKE_CALL* KorvexMakeProgress)(void* context, uint64_t done, uint64_t total);

/* Writes the file beside its name and renames it into place once complete; on any failure or
 * a stop nothing is left, and an earlier file of that name is untouched. error (may be null)
 * receives why, naming the file and, for Intel HEX and S-records, the line; it is cut short
 * to errorCapacity characters, always terminated. */
KORVEX_MAKE_API int KORVEX_MAKE_CALL KorvexMakeDfuFile(const KorvexMakeRequest* request, KorvexMakeProgress progress,
                                                       void* context, wchar_t* error, size_t errorCapacity);

#ifdef __cplusplus
}
#endif

#endif
