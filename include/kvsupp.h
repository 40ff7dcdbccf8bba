/*
** libkvsupp: run-time support for the Kestrova ODBC driver for Firebird.
** One include for the whole interface; link with -lkvsupp
** (pkg-config --cflags --libs kvsupp).
*/
#ifndef KVSUPP_H
#define KVSUPP_H

#include "kvsupp/export.h"
#include "kvsupp/types.h"
#include "kvsupp/memsys.h"
#include "kvsupp/list.h"
#include "kvsupp/strfunc.h"
#include "kvsupp/odbcerror.h"
#include "kvsupp/connfunc.h"
#include "kvsupp/values.h"
#include "kvsupp/numeric.h"
#include "kvsupp/calendar.h"
#include "kvsupp/datetime.h"
#include "kvsupp/nodes.h"
#include "kvsupp/parsehelp.h"
#include "kvsupp/driver.h"
#include "kvsupp/threads.h"
#include "kvsupp/registry.h"
#include "kvsupp/longvar.h"
#include "kvsupp/functions.h"
#include "kvsupp/hashlib.h"
#include "kvsupp/cursor.h"
#include "kvsupp/trace.h"
#include "kvsupp/printer.h"

#endif
