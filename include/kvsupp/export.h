/*
** Symbol visibility and C linkage for the public headers of libkvsupp.
** Only what is marked KV_EXPORT leaves the shared library.
*/
#ifndef KVSUPP_EXPORT_H
#define KVSUPP_EXPORT_H

#if defined(__GNUC__)
#define KV_EXPORT __attribute__((visibility("default")))
#define KV_PRINTF_LIKE(fmt, first) __attribute__((format(printf, fmt, first)))
#else
#define KV_EXPORT
#define KV_PRINTF_LIKE(fmt, first)
#endif

#ifdef __cplusplus
#define KV_BEGIN_DECLS extern "C" {
#define KV_END_DECLS }
#else
#define KV_BEGIN_DECLS
#define KV_END_DECLS
#endif

#endif
