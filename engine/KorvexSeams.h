/* What Korvex.dll asks the system, replaceable by the tests of the programs that load it:
 * the system's own answers cannot be made to order everywhere (Wine keeps none of the
 * attributes of a cloud placeholder). Not for use in a shipped program. */
#ifndef KORVEX_SEAMS_H
#define KORVEX_SEAMS_H

#include "KorvexLayout.h"

#ifdef __cplusplus
extern "C" {
#endif

#if defined(_WIN32)
/* The attributes of the file at path, as GetFileAttributesW answers them; 0 for none. */
typedef uint32_t(KORVEX_CALL* KorvexAttributeQuery)(const wchar_t* path);

/* The engine asks query from now on (null: the system again); answers the previous query,
 * the system's own where none was set. */
KORVEX_LAYOUT_API KorvexAttributeQuery KORVEX_CALL KorvexReplaceAttributeQuery(KorvexAttributeQuery query);
#endif

#ifdef __cplusplus
}
#endif

#endif /* KORVEX_SEAMS_H */
