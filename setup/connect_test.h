/*
** The seam of the test connection: tests put their own function in place of
** the client's isc_attach_database to see the exact parameter buffer.
*/
#ifndef FBSETUP_CONNECT_TEST_H
#define FBSETUP_CONNECT_TEST_H

#include <ibase.h>

namespace fbsetup {

using AttachFunction = ISC_STATUS (*)(ISC_STATUS *status, short name_length, const ISC_SCHAR *name,
                                      isc_db_handle *handle, short dpb_length, const ISC_SCHAR *dpb);

// Null puts the client library's isc_attach_database back.
void set_attach_function(AttachFunction attach);

} // namespace fbsetup

#endif
