/* Hex on the command line and on stdout: every byte crosses Wine's argv and console untouched. */

#ifndef WINE_TEST_COMMON_H
#define WINE_TEST_COMMON_H

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

/* Decodes a hex string into a fresh NUL-terminated buffer; NULL if it is not hex. */
static inline char* FromHex(const char* hex)
{
    size_t n = strlen(hex);
    if (n % 2 != 0)
        return NULL;
    char* out = (char*)malloc(n / 2 + 1);
    if (!out)
        return NULL;
    for (size_t i = 0; i < n / 2; i++) {
        unsigned int byte;
        if (sscanf(hex + 2 * i, "%2x", &byte) != 1) {
            free(out);
            return NULL;
        }
        out[i] = (char)byte;
    }
    out[n / 2] = '\0';
    return out;
}

static inline void PrintHex(const void* data, size_t size)
{
    const unsigned char* p = (const unsigned char*)data;
    for (size_t i = 0; i < size; i++)
        printf("%02x", p[i]);
}

#endif
