#include <kvsupp.h>
#include <stdio.h>
int main(void) { MemHandle *h = kv_mem_alloc_handle(NULL); kv_mem_release_handle(h); puts("ok"); return 0; }
