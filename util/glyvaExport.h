#ifndef UTIL_GLYVAEXPORT_H
#define UTIL_GLYVAEXPORT_H

/* Every exported declaration carries GLYVA_API; the library is built with hidden
 * visibility, so nothing else leaves the shared object. */
#if defined(__GNUC__) || defined(__clang__)
#define GLYVA_API __attribute__((visibility("default")))
#else
#define GLYVA_API
#endif

#ifdef __cplusplus
#define GLYVA_BEGIN_DECLS extern "C" {
#define GLYVA_END_DECLS }
#else
#define GLYVA_BEGIN_DECLS
#define GLYVA_END_DECLS
#endif

#endif
