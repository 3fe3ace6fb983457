/* The sieve of Eratosthenes below 16384 over a bit array of the odd numbers (1 KB of RAM),
 * checked against known counts, the largest prime and the sum of the primes. Prints "sieve ok"
 * and returns 0, or prints "sieve FAIL n" and returns n. With -DBENCH the work repeats ROUNDS
 * times. */
#include "sci3.h"

#ifndef ROUNDS
#ifdef BENCH
#define ROUNDS 500
#else
#define ROUNDS 1
#endif
#endif

#define N 16384U /* primes below N */

static unsigned char composite[N / 16]; /* bit k: the odd number 2k + 1 */

#define IS_COMPOSITE(k) (composite[(k) >> 3] & (1 << ((k)&7)))

static void sieve(void) {
  unsigned i, k;
  for (i = 0; i < sizeof composite; i++) composite[i] = 0;
  composite[0] = 1; /* 1 is not a prime */
  for (k = 1; (2 * k + 1) * (2 * k + 1) < N; k++) {
    if (IS_COMPOSITE(k)) continue;
    /* strike the odd multiples of p = 2k + 1 from p * p on */
    for (i = (2 * k + 1) * (2 * k + 1) / 2; i < N / 2; i += 2 * k + 1)
      composite[i >> 3] |= (unsigned char)(1 << (i & 7));
  }
}

/* How many primes lie below `limit` (at most N); `largest` and `sum` take the largest and sum. */
static unsigned count(unsigned limit, unsigned* largest, unsigned long* sum) {
  unsigned k, n = limit > 2; /* 2 */
  *largest = 2;
  *sum = 2;
  for (k = 1; 2 * k + 1 < limit; k++) {
    if (IS_COMPOSITE(k)) continue;
    n++;
    *largest = 2 * k + 1;
    *sum += 2 * k + 1;
  }
  return n;
}

static int check(void) {
  static const struct {
    unsigned limit, primes, largest;
  } known[] = {{10, 4, 7}, {100, 25, 97}, {1000, 168, 997}, {N, 1900, 16381}};
  unsigned i, largest;
  unsigned long sum;
  sieve();
  for (i = 0; i < sizeof known / sizeof known[0]; i++) {
    if (count(known[i].limit, &largest, &sum) != known[i].primes) return 10 + i;
    if (largest != known[i].largest) return 20 + i;
  }
  if (sum != 14584641UL) return 1;
  return 0;
}

int main(void) {
  int round, failed = 0;
  for (round = 0; round < ROUNDS && !failed; round++) failed = check();
  if (failed) {
    sci3_puts("sieve FAIL ");
    sci3_putdec(failed);
    sci3_putchar('\n');
    return failed;
  }
  sci3_puts("sieve ok\n");
  return 0;
}
