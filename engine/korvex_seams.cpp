// The seams of Korvex.dll, for the tests of the programs that load it.
#include "KorvexSeams.h"

#include "file_presence.h"

extern "C" KorvexAttributeQuery KORVEX_CALL KorvexReplaceAttributeQuery(KorvexAttributeQuery query)
{
    return korvex::ReplaceAttributeQuery(query);
}
