/*
 * Quendral: marks the top corners of a BMP picture.
 *
 * Quendral(inputPath, outputPath) loads the BMP picture at inputPath, sets
 * red and green to 0 in two triangles at its top corners (their slanted
 * edges meet at the top centre), and saves it under outputPath at the
 * picture's own bit depth.
 *
 * Paths are NUL-terminated UTF-16 strings (wchar_t on Windows, char16_t
 * elsewhere); null counts as a path that cannot be opened. Input and output
 * may name the same file: it is replaced only by a complete picture.
 *
 * Returns 999 when the input was loaded (the output was then attempted;
 * whether it could be written does not change the result) and 1 when it
 * was not. Never throws; safe to call from several threads at once.
 */
#ifndef QUENDRAL_QUENDRAL_H
#define QUENDRAL_QUENDRAL_H

#include <stdint.h>

#if defined(_WIN32)
#include <wchar.h>
typedef wchar_t QuendralPathChar;
#define QUENDRAL_CALL __stdcall
#if defined(QUENDRAL_BUILDING_LIBRARY)
#define QUENDRAL_API __declspec(dllexport)
#else
#define QUENDRAL_API __declspec(dllimport)
#endif
#else
#if defined(__cplusplus)
typedef char16_t QuendralPathChar;
#else
#include <uchar.h>
typedef char16_t QuendralPathChar;
#endif
#define QUENDRAL_CALL
#define QUENDRAL_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

QUENDRAL_API int32_t QUENDRAL_CALL Quendral(const QuendralPathChar* inputPath,
                                            const QuendralPathChar* outputPath);

#ifdef __cplusplus
}
#endif

#endif /* QUENDRAL_QUENDRAL_H */
