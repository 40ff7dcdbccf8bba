/*
** The date and time functions of the catalogue. Not in this build yet:
** each leaves through the not-available exit.
*/
#include "functions_internal.h"

KV_SCALAR_NOT_AVAILABLE(func_curdate)
KV_SCALAR_NOT_AVAILABLE(func_curtime)
KV_SCALAR_NOT_AVAILABLE(func_curtstamp)
KV_SCALAR_NOT_AVAILABLE(func_dayname)
KV_SCALAR_NOT_AVAILABLE(func_dayofmonth)
KV_SCALAR_NOT_AVAILABLE(func_dayofweek)
KV_SCALAR_NOT_AVAILABLE(func_dayofyear)
KV_SCALAR_NOT_AVAILABLE(func_extract)
KV_SCALAR_NOT_AVAILABLE(func_hour)
KV_SCALAR_NOT_AVAILABLE(func_minute)
KV_SCALAR_NOT_AVAILABLE(func_month)
KV_SCALAR_NOT_AVAILABLE(func_monthname)
KV_SCALAR_NOT_AVAILABLE(func_now)
KV_SCALAR_NOT_AVAILABLE(func_quarter)
KV_SCALAR_NOT_AVAILABLE(func_second)
KV_SCALAR_NOT_AVAILABLE(func_timestampadd)
KV_SCALAR_NOT_AVAILABLE(func_timestampdiff)
KV_SCALAR_NOT_AVAILABLE(func_week)
KV_SCALAR_NOT_AVAILABLE(func_year)
