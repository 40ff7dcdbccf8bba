/* Compiled as strict C99: the umbrella header and every header it includes. */
#include <kvsupp.h>

int kv_header_check_dummy(void);
int kv_header_check_dummy(void)
{
    return (int)sizeof(Value) + (int)sizeof(EvalContext);
}
