/*
** The string functions of the catalogue, with DATABASE, USER, IFNULL and
** CONVERT. CONVERT is not evaluated by the library; the others are not in
** this build yet and leave through the not-available exit.
*/
#include "functions_internal.h"

// Conversion is the server's (or the driver's) business: no value.
KV_SCALAR_FUNCTION(func_convert)
{
    (void)ctx, (void)argc, (void)argv, (void)mode, (void)eval_data, (void)entry;
    return nullptr;
}

KV_SCALAR_NOT_AVAILABLE(func_ascii)
KV_SCALAR_NOT_AVAILABLE(func_bit_length)
KV_SCALAR_NOT_AVAILABLE(func_char)
KV_SCALAR_NOT_AVAILABLE(func_char_length)
KV_SCALAR_NOT_AVAILABLE(func_concat)
KV_SCALAR_NOT_AVAILABLE(func_database)
KV_SCALAR_NOT_AVAILABLE(func_difference)
KV_SCALAR_NOT_AVAILABLE(func_ifnull)
KV_SCALAR_NOT_AVAILABLE(func_insert)
KV_SCALAR_NOT_AVAILABLE(func_lcase)
KV_SCALAR_NOT_AVAILABLE(func_left)
KV_SCALAR_NOT_AVAILABLE(func_length)
KV_SCALAR_NOT_AVAILABLE(func_locate)
KV_SCALAR_NOT_AVAILABLE(func_ltrim)
KV_SCALAR_NOT_AVAILABLE(func_position)
KV_SCALAR_NOT_AVAILABLE(func_repeat)
KV_SCALAR_NOT_AVAILABLE(func_replace)
KV_SCALAR_NOT_AVAILABLE(func_right)
KV_SCALAR_NOT_AVAILABLE(func_rtrim)
KV_SCALAR_NOT_AVAILABLE(func_soundex)
KV_SCALAR_NOT_AVAILABLE(func_space)
KV_SCALAR_NOT_AVAILABLE(func_substring)
KV_SCALAR_NOT_AVAILABLE(func_ucase)
KV_SCALAR_NOT_AVAILABLE(func_user)
