/* Taking a .dfu file apart, hashing a file and comparing two .dfu files, as Korvex.dll offers
 * them to the shell's commands. Plain C: text comes back through the caller's callback, so no
 * memory crosses modules, and long work reports its progress and can be stopped. */
#ifndef KORVEX_TOOLS_H
#define KORVEX_TOOLS_H

#include <stdint.h>
#include <wchar.h>

#include "KorvexLayout.h"

#if defined(_WIN32) && defined(KORVEX_BUILDING)
#  define KORVEX_TOOLS_API __declspec(dllexport)
#elif defined(_WIN32)
#  define KORVEX_TOOLS_API __declspec(dllimport)
#else
#  define KORVEX_TOOLS_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* What each call answers. */
enum {
    KORVEX_TOOLS_DONE = 0,
    KORVEX_TOOLS_CANCELLED = 1, /* the progress callback asked to stop; nothing is left behind */
    KORVEX_TOOLS_INVALID = 2,   /* the input is not what it claims to be (the text says why) */
    KORVEX_TOOLS_USAGE = 3,     /* the request cannot be carried out as asked */
    KORVEX_TOOLS_IO = 4,        /* the system refused a read or a write (the text says where) */
    KORVEX_TOOLS_NO_MEMORY = 5
};

typedef struct KorvexToolsReport {
    void* context;
    /* done of total bytes; answers non-zero to stop the work. May be null. */
    int(KORVEX_CALL* progress)(void* context, uint64_t done, uint64_t total);
    /* The call's result text, or on failure what went wrong and where. May be null. */
    void(KORVEX_CALL* text)(void* context, const wchar_t* text);
} KorvexToolsReport;

/* Writes one raw binary per element and one Intel HEX file per target (for a file without
 * addresses, its image as one binary) into a new folder named folder, or "folder (2)",
 * "folder (3)"... when that name is taken. The files are written in a temporary folder beside
 * it that is renamed into place only when complete. damaged: take apart a file whose CRC is
 * wrong, keeping the elements it holds whole; otherwise such a file is refused as
 * KORVEX_TOOLS_INVALID. On success the text is the folder's path. */
KORVEX_TOOLS_API int KORVEX_CALL KorvexExtractToFolder(const wchar_t* file, const wchar_t* folder, int damaged,
                                                       const KorvexToolsReport* report);

/* The SHA-256 of the whole file, any file, as lower-case hexadecimal (64 characters). */
KORVEX_TOOLS_API int KORVEX_CALL KorvexHashFile(const wchar_t* file, const KorvexToolsReport* report);

/* Compares two .dfu files: the text lists what differs or says they are the same, naming
 * the files as given. *same is set to 1 or 0 (may be null). */
KORVEX_TOOLS_API int KORVEX_CALL KorvexCompareFiles(const wchar_t* fileA, const wchar_t* fileB, int* same,
                                                    const KorvexToolsReport* report);

#ifdef __cplusplus
}
#endif

#endif
