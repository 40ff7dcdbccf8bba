/*
** fbsetup: the setup module of the Kestrova Firebird ODBC driver.
**
** The ODBC installer library loads it and calls ConfigDSN and ConfigDriver
** (declared by <odbcinst.h>) to add, configure and remove data sources; the
** driver calls complete_info to let the user complete a connection's settings
** and complete_error to show an error. unixODBC's configuration tools read
** the attribute list through ODBCINSTGetProperties (<odbcinstext.h>). The
** module keeps one dialog at a time; its entry points wait for each other.
**
** ConfigDSN returns TRUE only when the data source was written or removed;
** otherwise FALSE with an installer error record (SQLInstallerError): 5 bad
** request; 7 no attributes, no name to remove or a bad driver name; 8 a
** value refused; 9 a name refused or missing, or a data source that does not
** exist or is another driver's; 16 Cancel; 11 anything else that stopped it
** (the text says what).
*/
#ifndef FBSETUP_H
#define FBSETUP_H

#include <stdint.h>

#include <odbcinst.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The settings of one connection, exchanged with the driver. Texts are
** NUL-terminated, at most 127 characters; flags are 0 or 1; dialect and
** txnmode are item numbers counting from 1. */
typedef struct ConnectInfo {
    char dsn[128];      /* empty when the connection has no data source */
    char user[128];
    char password[128]; /* plain or scrambled on entry, scrambled on return (plain when the
                           scrambled form would not fit) */
    char database[128];
    char role[128];
    char charset[128];
    int32_t withschema;
    int32_t dialect;
    int32_t nowait;
    int32_t oldmetadata;
    int32_t execproc;
    int32_t dquote;
    int32_t readonly;
    int32_t commitselect;
    int32_t withdefault;
    int32_t txnmode;
    int32_t flushcommit;
    int32_t padvarchar;
    int32_t nullschema;
    int32_t fixprecision;
    int32_t simpleunicode;
    int32_t wchardefaultc;
} ConnectInfo;

/* Shows the settings of `info` in the dialog. Returns 0 after OK with `info`
** filled in, 100 (SQL_NO_DATA) after Cancel, or when the dialog cannot be
** shown, with `info` untouched. OK refuses a text that does not fit its
** field whole. */
int complete_info(ConnectInfo *info);

/* Shows `message` (at most 255 bytes, cut between characters) in a stop
** alert titled "Kestrova Firebird ODBC Driver"; returns the alert's status,
** 0. Waits while another thread has a dialog open. */
int complete_error(const char *message);

/* Writes the scrambled form of `password` to `out`, which must hold
** 2 * strlen(password) + 9 bytes. Returns `out`. The form is reversible
** obfuscation with a fixed key, not encryption: anyone who can read odbc.ini
** can recover the password. */
char *encrypt_pw(const char *password, char *out);

/* Writes the password of the scrambled form `text` to `out`; any other text is
** copied unchanged. `out` must hold strlen(text) + 1 bytes. Returns `out`. */
char *decrypt_pw(const char *text, char *out);

#ifdef __cplusplus
}
#endif

#endif
