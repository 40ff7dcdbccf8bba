/*
** The numeric functions of the catalogue. Not in this build yet: each
** leaves through the not-available exit.
*/
#include "functions_internal.h"

KV_SCALAR_NOT_AVAILABLE(func_abs)
KV_SCALAR_NOT_AVAILABLE(func_acos)
KV_SCALAR_NOT_AVAILABLE(func_asin)
KV_SCALAR_NOT_AVAILABLE(func_atan)
KV_SCALAR_NOT_AVAILABLE(func_atan2)
KV_SCALAR_NOT_AVAILABLE(func_ceiling)
KV_SCALAR_NOT_AVAILABLE(func_cos)
KV_SCALAR_NOT_AVAILABLE(func_cot)
KV_SCALAR_NOT_AVAILABLE(func_degrees)
KV_SCALAR_NOT_AVAILABLE(func_exp)
KV_SCALAR_NOT_AVAILABLE(func_floor)
KV_SCALAR_NOT_AVAILABLE(func_log)
KV_SCALAR_NOT_AVAILABLE(func_log10)
KV_SCALAR_NOT_AVAILABLE(func_mod)
KV_SCALAR_NOT_AVAILABLE(func_pi)
KV_SCALAR_NOT_AVAILABLE(func_power)
KV_SCALAR_NOT_AVAILABLE(func_radians)
KV_SCALAR_NOT_AVAILABLE(func_rand)
KV_SCALAR_NOT_AVAILABLE(func_round)
KV_SCALAR_NOT_AVAILABLE(func_sign)
KV_SCALAR_NOT_AVAILABLE(func_sin)
KV_SCALAR_NOT_AVAILABLE(func_sqrt)
KV_SCALAR_NOT_AVAILABLE(func_tan)
KV_SCALAR_NOT_AVAILABLE(func_truncate)
