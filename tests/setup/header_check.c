/* fbsetup.h compiles as strict C99 and keeps the record's fixed layout. */
#include <fbsetup.h>

#include <stddef.h>

typedef char check_texts[offsetof(ConnectInfo, withschema) == 6 * 128 ? 1 : -1];
typedef char check_size[sizeof(ConnectInfo) == 6 * 128 + 16 * 4 ? 1 : -1];
