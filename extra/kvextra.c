/*
** libkvextra: a placeholder that libkvsupp is linked against. It carries a
** build stamp and one exported function that does nothing.
*/

/* Kept in the binary (not exported) so that "strings" shows when it was built. */
__attribute__((used)) static const char server_built[] = "$Built: " __DATE__ " " __TIME__ " $";

__attribute__((visibility("default"))) void __dummy_function(void);

void __dummy_function(void)
{
}
