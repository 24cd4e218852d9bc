/* A C host of the Quendral library: marks the picture IN and saves it as OUT.
 *
 *   cc mark.c $(pkg-config --cflags --libs quendral) -o mark && ./mark in.bmp out.bmp
 */
#include <quendral/quendral.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

/* The UTF-16 string that Quendral takes, from a UTF-8 argument; NULL for
 * text that is not UTF-8. UTF-16 needs no more units than UTF-8 has bytes. */
static char16_t* Utf16FromUtf8(const char* text) {
  const unsigned char* s = (const unsigned char*)text;
  char16_t* out = malloc((strlen(text) + 1) * sizeof *out);
  size_t k = 0;
  while (out != NULL && *s != 0) {
    int extra = *s < 0x80 ? 0 : (*s & 0xE0) == 0xC0 ? 1 : (*s & 0xF0) == 0xE0 ? 2
              : (*s & 0xF8) == 0xF0 ? 3 : -1; /* bytes that follow the first */
    unsigned long c = extra <= 0 ? *s : (unsigned long)(*s & (0x3F >> extra));
    for (++s; extra > 0 && (*s & 0xC0) == 0x80; --extra, ++s) c = (c << 6) | (*s & 0x3F);
    if (extra != 0) {
      free(out);
      return NULL;
    }
    if (c >= 0x10000) {
      c -= 0x10000;
      out[k++] = (char16_t)(0xD800 + (c >> 10));
      c = 0xDC00 + (c & 0x3FF);
    }
    out[k++] = (char16_t)c;
  }
  if (out != NULL) out[k] = 0;
  return out;
}

int main(int argc, char** argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: %s IN OUT\n", argv[0]);
    return 2;
  }
  char16_t* in = Utf16FromUtf8(argv[1]);
  char16_t* out = Utf16FromUtf8(argv[2]);
  /* 999: the input was loaded (and the output attempted); 1: it was not. */
  const int32_t result = in != NULL && out != NULL ? Quendral(in, out) : 1;
  free(in);
  free(out);
  printf("Quendral returned %d\n", (int)result);
  return result == 999 ? 0 : 1;
}
