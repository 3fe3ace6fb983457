/* CRC-32 (the reflected polynomial 0xEDB88320 of zip and Ethernet) computed bit by bit and with
 * a 256-entry table, checked against known values and against each other over 1000 pseudo-random
 * bytes. Prints "crc32 ok" and returns 0, or prints "crc32 FAIL n" and returns n. With -DBENCH
 * the work repeats ROUNDS times. */
#include "sci3.h"

#ifndef ROUNDS
#ifdef BENCH
#define ROUNDS 2000
#else
#define ROUNDS 1
#endif
#endif

static unsigned long table[256];

static unsigned long crc_bit(unsigned long crc, unsigned char byte) {
  int k;
  crc ^= byte;
  for (k = 0; k < 8; k++) crc = (crc & 1) ? (crc >> 1) ^ 0xEDB88320UL : crc >> 1;
  return crc;
}

static void make_table(void) {
  int n;
  for (n = 0; n < 256; n++) table[n] = crc_bit(0, (unsigned char)n);
}

static unsigned long crc_table(unsigned long crc, unsigned char byte) {
  return (crc >> 8) ^ table[(crc ^ byte) & 0xFF];
}

/* The CRC of the string s, by table or bit by bit. */
static unsigned long crc_string(const char* s, int by_table) {
  unsigned long crc = 0xFFFFFFFFUL;
  for (; *s; s++)
    crc = by_table ? crc_table(crc, (unsigned char)*s) : crc_bit(crc, (unsigned char)*s);
  return crc ^ 0xFFFFFFFFUL;
}

static const struct {
  const char* text;
  unsigned long crc;
} known[] = {
    {"", 0},
    {"a", 0xE8B7BE43UL},
    {"123456789", 0xCBF43926UL},
    {"The quick brown fox jumps over the lazy dog", 0x414FA339UL},
};

static int check(void) {
  unsigned long x = 1, by_bit = 0xFFFFFFFFUL, by_table = 0xFFFFFFFFUL;
  unsigned i;
  make_table();
  if (table[1] != 0x77073096UL || table[128] != 0xEDB88320UL || table[255] != 0x2D02EF8DUL)
    return 1;
  for (i = 0; i < sizeof known / sizeof known[0]; i++) {
    if (crc_string(known[i].text, 0) != known[i].crc) return 10 + i;
    if (crc_string(known[i].text, 1) != known[i].crc) return 20 + i;
  }
  /* 1000 bytes: the top bytes of a linear congruential sequence from 1 */
  for (i = 0; i < 1000; i++) {
    x = x * 1103515245UL + 12345;
    by_bit = crc_bit(by_bit, (unsigned char)(x >> 24));
    by_table = crc_table(by_table, (unsigned char)(x >> 24));
  }
  if ((by_bit ^ 0xFFFFFFFFUL) != 0xA346F0DCUL) return 2;
  if ((by_table ^ 0xFFFFFFFFUL) != 0xA346F0DCUL) return 3;
  return 0;
}

int main(void) {
  int round, failed = 0;
  for (round = 0; round < ROUNDS && !failed; round++) failed = check();
  if (failed) {
    sci3_puts("crc32 FAIL ");
    sci3_putdec(failed);
    sci3_putchar('\n');
    return failed;
  }
  sci3_puts("crc32 ok\n");
  return 0;
}
