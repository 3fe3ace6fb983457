/* Polled SCI3 console I/O (see sci3.h). */
#include "sci3.h"

void sci3_putchar(char c) {
  while (!(SCI3_SSR & SCI3_TDRE)) {
  }
  SCI3_TDR = (unsigned char)c;
}

void sci3_puts(const char* s) {
  while (*s) sci3_putchar(*s++);
}

int sci3_getchar(void) {
  unsigned char status;
  for (;;) {
    status = SCI3_SSR;
    /* An error flag stops reception until it is cleared (writing 0; writing 1 leaves a flag). */
    if (status & (SCI3_OER | SCI3_FER | SCI3_PER))
      SCI3_SSR = status & (unsigned char)~(SCI3_OER | SCI3_FER | SCI3_PER);
    if (status & SCI3_RDRF) return SCI3_RDR;
  }
}

void sci3_puthex(unsigned long v, int digits) {
  while (digits-- > 0) sci3_putchar("0123456789ABCDEF"[(v >> (4 * digits)) & 15]);
}

void sci3_putudec(unsigned long v) {
  char text[11];
  int n = 0;
  do {
    text[n++] = (char)('0' + v % 10);
    v /= 10;
  } while (v != 0);
  while (n > 0) sci3_putchar(text[--n]);
}

void sci3_putdec(long v) {
  if (v < 0) {
    sci3_putchar('-');
    sci3_putudec(0UL - (unsigned long)v);
  } else {
    sci3_putudec((unsigned long)v);
  }
}
