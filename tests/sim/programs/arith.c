/* What C code needs from the compiler and the run-time routines on a 16-bit-int H8/300H:
 * 32-bit unsigned and signed multiply, divide and modulo at edge values and over pseudo-random
 * operands, 16-bit int arithmetic, long shifts by variable amounts, char/short/long conversions,
 * structure copies, function pointers and recursion. Prints "arith ok" and returns 0, or prints
 * "arith FAIL n" and returns n: 1-4 a pseudo-random division, else the group (tens) and the
 * table row. Operands come from tables or volatile objects, so the work is done at run time.
 * INT32_MIN / -1 and INT32_MIN % -1, undefined in C, are left out; signed products are formed
 * in unsigned arithmetic, where wrapping is defined. */
#include "sci3.h"

#define MIN (-2147483647L - 1)
#define COUNT(table) (int)(sizeof table / sizeof table[0])

static const struct {
  unsigned long a, b, product, quotient, remainder;
} unsigned_cases[] = {
    {0xFFFFFFFFUL, 0x00000001UL, 0xFFFFFFFFUL, 0xFFFFFFFFUL, 0x00000000UL},
    {0xFFFFFFFFUL, 0xFFFFFFFFUL, 0x00000001UL, 0x00000001UL, 0x00000000UL},
    {0xFFFFFFFEUL, 0xFFFFFFFFUL, 0x00000002UL, 0x00000000UL, 0xFFFFFFFEUL},
    {0x80000000UL, 0x00000003UL, 0x80000000UL, 0x2AAAAAAAUL, 0x00000002UL},
    {0x075BCD15UL, 0x0000000AUL, 0x499602D2UL, 0x00BC614EUL, 0x00000009UL},
    {0xFFFFFFFFUL, 0x00010000UL, 0xFFFF0000UL, 0x0000FFFFUL, 0x0000FFFFUL},
    {0xFFFFFFFFUL, 0x0000FFFFUL, 0xFFFF0001UL, 0x00010001UL, 0x00000000UL},
    {0x12345678UL, 0x00009ABCUL, 0xDA73B020UL, 0x00001E1EUL, 0x00002C70UL},
    {0xFEDCBA98UL, 0x00012345UL, 0x999912F8UL, 0x0000E000UL, 0x00005A98UL},
    {0x80000000UL, 0x80000001UL, 0x80000000UL, 0x00000000UL, 0x80000000UL},
    {0x00000007UL, 0x80000000UL, 0x80000000UL, 0x00000000UL, 0x00000007UL},
    {0xFFFFFFFFUL, 0x80000000UL, 0x80000000UL, 0x00000001UL, 0x7FFFFFFFUL},
    {0xDEADBEEFUL, 0x00010001UL, 0x9D9CBEEFUL, 0x0000DEACUL, 0x0000E043UL},
    {0x00000000UL, 0x00000005UL, 0x00000000UL, 0x00000000UL, 0x00000000UL},
    {0x00010000UL, 0x00010000UL, 0x00000000UL, 0x00000001UL, 0x00000000UL},
};

static const struct {
  long a, b, product, quotient, remainder;
} signed_cases[] = {
    {-7L, 2L, -14L, -3L, -1L},
    {7L, -2L, -14L, -3L, 1L},
    {-7L, -2L, 14L, 3L, -1L},
    {MIN, 1L, MIN, MIN, 0L},
    {MIN, 2L, 0L, -1073741824L, 0L},
    {MIN, MIN, 0L, 1L, 0L},
    {MIN, 3L, MIN, -715827882L, -2L},
    {2147483647L, -1L, -2147483647L, -2147483647L, 0L},
    {-40000L, 50000L, -2000000000L, 0L, -40000L},
    {65535L, -32767L, -2147385345L, -2L, 1L},
    {-123456789L, -10L, 1234567890L, 12345678L, -9L},
    {1000000L, -7L, -7000000L, -142857L, 1L},
    {-1L, 2147483647L, -2147483647L, 0L, -1L},
    {2147483647L, 2147483647L, 1L, 1L, 0L},
};

static const struct {
  int a, b, product, quotient, remainder;
} int_cases[] = {
    {-7, 2, -14, -3, -1},
    {32767, -1, -32767, -32767, 0},
    {-32767 - 1, 1, -32767 - 1, -32767 - 1, 0},
    {300, -7, -2100, -42, 6},
    {-1000, 33, 32536, -30, -10},
    {255, 255, -511, 1, 0},
};

/* 0x89ABCDEF shifted by n: left, right unsigned, right signed (arithmetic in GCC) */
static const struct {
  int n;
  unsigned long left, right, arithmetic;
} shift_cases[] = {
    {0, 0x89ABCDEFUL, 0x89ABCDEFUL, 0x89ABCDEFUL},  {1, 0x13579BDEUL, 0x44D5E6F7UL, 0xC4D5E6F7UL},
    {4, 0x9ABCDEF0UL, 0x089ABCDEUL, 0xF89ABCDEUL},  {7, 0xD5E6F780UL, 0x0113579BUL, 0xFF13579BUL},
    {8, 0xABCDEF00UL, 0x0089ABCDUL, 0xFF89ABCDUL},  {15, 0xE6F78000UL, 0x00011357UL, 0xFFFF1357UL},
    {16, 0xCDEF0000UL, 0x000089ABUL, 0xFFFF89ABUL}, {17, 0x9BDE0000UL, 0x000044D5UL, 0xFFFFC4D5UL},
    {24, 0xEF000000UL, 0x00000089UL, 0xFFFFFF89UL}, {31, 0x80000000UL, 0x00000001UL, 0xFFFFFFFFUL},
};

static unsigned long seed = 1;
static unsigned long next(void) { return seed = seed * 1103515245UL + 12345; }

/* Division against multiplication over pseudo-random operands of every width: a = q * b + r with
 * the remainder smaller than the divisor and, when signed, of the dividend's sign. */
static int random_division(void) {
  int i;
  for (i = 0; i < 500; i++) {
    unsigned long a = next(), b = next() >> (int)(next() >> 27), q, r;
    long sa = (long)a, sb = (long)(b ^ (next() & 0x80000000UL)), sq, sr;
    if (b == 0) continue;
    q = a / b;
    r = a % b;
    if (r >= b || q * b + r != a) return 1;
    if (sb == 0 || (sa == MIN && sb == -1)) continue;
    sq = sa / sb;
    sr = sa % sb;
    if ((unsigned long)sq * (unsigned long)sb + (unsigned long)sr != a) return 2;
    if (sr != 0 && (sr < 0) != (sa < 0)) return 3;
    if ((unsigned long)(sr < 0 ? -sr : sr) >=
        (sb < 0 ? 0UL - (unsigned long)sb : (unsigned long)sb))
      return 4;
  }
  return 0;
}

static int arithmetic(void) {
  int i;
  if ((i = random_division()) != 0) return i;
  for (i = 0; i < COUNT(unsigned_cases); i++) {
    unsigned long a = unsigned_cases[i].a, b = unsigned_cases[i].b;
    if (a * b != unsigned_cases[i].product || a / b != unsigned_cases[i].quotient ||
        a % b != unsigned_cases[i].remainder)
      return 10 + i;
  }
  for (i = 0; i < COUNT(signed_cases); i++) {
    long a = signed_cases[i].a, b = signed_cases[i].b;
    if ((long)((unsigned long)a * (unsigned long)b) != signed_cases[i].product ||
        a / b != signed_cases[i].quotient || a % b != signed_cases[i].remainder)
      return 30 + i;
  }
  for (i = 0; i < COUNT(int_cases); i++) {
    int a = int_cases[i].a, b = int_cases[i].b;
    if ((int)((unsigned)a * (unsigned)b) != int_cases[i].product ||
        a / b != int_cases[i].quotient || a % b != int_cases[i].remainder)
      return 50 + i;
  }
  for (i = 0; i < COUNT(shift_cases); i++) {
    unsigned long u = 0x89ABCDEFUL;
    long s = (long)u;
    int n = shift_cases[i].n;
    if (u << n != shift_cases[i].left || u >> n != shift_cases[i].right ||
        (unsigned long)(s >> n) != shift_cases[i].arithmetic)
      return 70 + i;
  }
  return 0;
}

static int conversions(void) {
  volatile long l = 0x12345678L, m = 0x1FFL;
  volatile signed char sc = -1, sc80 = (signed char)-128;
  volatile unsigned char uc = 0xFF;
  volatile short s = -32767 - 1;
  volatile unsigned short us = 0x8000U;
  if ((long)sc != -1L || (unsigned long)sc != 0xFFFFFFFFUL) return 90;
  if ((long)uc != 255L || (int)uc != 255) return 91;
  if ((long)sc80 != -128L || (int)sc80 != -128) return 92;
  if ((long)s != -32768L || (unsigned long)s != 0xFFFF8000UL) return 93;
  if ((long)us != 32768L) return 94;
  if ((unsigned char)l != 0x78 || (short)l != 0x5678 || (unsigned short)(l >> 16) != 0x1234)
    return 95;
  if ((signed char)m != -1 || (unsigned char)m != 0xFF || (short)m != 0x1FF) return 96;
  return 0;
}

struct record {
  long values[8];
  char name[9];
  short tag;
};

static struct record make_record(short tag) {
  struct record r;
  int i;
  for (i = 0; i < 8; i++) r.values[i] = (long)tag << (2 * i);
  for (i = 0; i < 8; i++) r.name[i] = (char)('a' + i);
  r.name[8] = 0;
  r.tag = tag;
  return r;
}

static long sum_record(struct record r) { /* by value: a copy the callee may change */
  long sum = 0;
  int i;
  for (i = 0; i < 8; i++) sum += r.values[i];
  r.values[0] = 0;
  return sum + r.tag;
}

static int structures(void) {
  struct record a = make_record(3), b;
  b = a;
  b.values[7] = -1;
  b.name[0] = 'z';
  if (a.values[7] != 3L << 14 || a.name[0] != 'a' || b.values[6] != 3L << 12 || b.tag != 3)
    return 110;
  if (b.name[0] != 'z' || b.name[7] != 'h' || b.name[8] != 0) return 111;
  /* 3 * (1 + 4 + ... + 4^7) + 3 = 3 * 21845 + 3 */
  if (sum_record(a) != 65538L || a.values[0] != 3) return 112;
  return 0;
}

static long add(long a, long b) { return a + b; }
static long subtract(long a, long b) { return a - b; }
static long multiply(long a, long b) { return a * b; }
static long divide(long a, long b) { return a / b; }
static long modulo(long a, long b) { return a % b; }
static long shift_left(long a, long b) { return (long)((unsigned long)a << (int)b); }

static int function_pointers(void) {
  static const struct {
    long (*op)(long, long);
    long a, b, result;
  } calls[] = {
      {add, 2000000000L, 147483647L, 2147483647L},
      {subtract, -2, 2147483646L, MIN},
      {multiply, -1000, 1000000L, -1000000000L},
      {divide, -1000000000L, 7, -142857142L},
      {modulo, -1000000000L, 7, -6},
      {shift_left, 3, 30, -1073741824L},
  };
  int i;
  for (i = 0; i < COUNT(calls); i++)
    if (calls[i].op(calls[i].a, calls[i].b) != calls[i].result) return 130 + i;
  return 0;
}

static int fibonacci(int n) { return n < 2 ? n : fibonacci(n - 1) + fibonacci(n - 2); }
static long factorial(int n) { return n <= 1 ? 1 : n * factorial(n - 1); }
static long gcd(long a, long b) { return b == 0 ? a : gcd(b, a % b); }
static int ackermann(int m, int n) {
  if (m == 0) return n + 1;
  if (n == 0) return ackermann(m - 1, 1);
  return ackermann(m - 1, ackermann(m, n - 1));
}

static int recursion(void) {
  if (fibonacci(18) != 2584) return 150;
  if (factorial(12) != 479001600L) return 151;
  if (gcd(1071L * 65536L, 462L * 65536L) != 21L * 65536L) return 152;
  if (ackermann(2, 3) != 9) return 153;
  return 0;
}

int main(void) {
  static int (*const groups[])(void) = {arithmetic, conversions, structures, function_pointers,
                                        recursion};
  int i, failed = 0;
  for (i = 0; i < COUNT(groups) && !failed; i++) failed = groups[i]();
  if (failed) {
    sci3_puts("arith FAIL ");
    sci3_putdec(failed);
    sci3_putchar('\n');
    return failed;
  }
  sci3_puts("arith ok\n");
  return 0;
}
