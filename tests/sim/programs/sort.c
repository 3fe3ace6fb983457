/* Sorts pseudo-random numbers: 400 unsigned 16-bit values by quicksort, 200 signed 32-bit values
 * by heap sort. Checks the order, that the sum and exclusive-or are kept, and known values at the
 * ends and the middle. Prints "sort ok" and returns 0, or prints "sort FAIL n" and returns n.
 * With -DBENCH the work repeats ROUNDS times. */
#include "sci3.h"

#ifndef ROUNDS
#ifdef BENCH
#define ROUNDS 1800
#else
#define ROUNDS 1
#endif
#endif

#define HALVES 400
#define WORDS 200

static union {
  unsigned short h[HALVES];
  long w[WORDS];
} buffer;

static unsigned long seed;

static unsigned long next(void) { return seed = seed * 1103515245UL + 12345; }

/* Quicksort of a[0..n-1]: Hoare partition around the middle value, recursion into the smaller
 * part and a loop over the larger, so the stack stays shallow. */
static void quicksort(unsigned short* a, int n) {
  while (n > 1) {
    unsigned short pivot = a[(n - 1) / 2], t; /* the lower middle: j ends below n - 1 */
    int i = 0, j = n - 1;
    for (;;) {
      while (a[i] < pivot) i++;
      while (a[j] > pivot) j--;
      if (i >= j) break;
      t = a[i];
      a[i++] = a[j];
      a[j--] = t;
    }
    /* a[0..j] <= pivot <= a[j+1..n-1] */
    if (j + 1 < n - j - 1) {
      quicksort(a, j + 1);
      a += j + 1;
      n -= j + 1;
    } else {
      quicksort(a + j + 1, n - j - 1);
      n = j + 1;
    }
  }
}

static void sift_down(long* a, int root, int n) {
  long v = a[root];
  int child;
  while ((child = 2 * root + 1) < n) {
    if (child + 1 < n && a[child + 1] > a[child]) child++;
    if (a[child] <= v) break;
    a[root] = a[child];
    root = child;
  }
  a[root] = v;
}

static void heapsort(long* a, int n) {
  int i;
  long t;
  for (i = n / 2 - 1; i >= 0; i--) sift_down(a, i, n);
  for (i = n - 1; i > 0; i--) {
    t = a[0];
    a[0] = a[i];
    a[i] = t;
    sift_down(a, 0, i);
  }
}

static int check(void) {
  unsigned short *h = buffer.h, hsum = 0, hxor = 0, hsum2 = 0, hxor2 = 0;
  long* w = buffer.w;
  unsigned long wsum = 0, wxor = 0, wsum2 = 0, wxor2 = 0;
  int i;

  for (seed = 7, i = 0; i < HALVES; i++) {
    h[i] = (unsigned short)(next() >> 16);
    hsum += h[i];
    hxor ^= h[i];
  }
  quicksort(h, HALVES);
  for (i = 0; i < HALVES; i++) {
    if (i > 0 && h[i - 1] > h[i]) return 1;
    hsum2 += h[i];
    hxor2 ^= h[i];
  }
  if (hsum2 != hsum || hxor2 != hxor) return 2;
  if (hsum != 8288) return 3;
  if (h[0] != 167 || h[HALVES / 2] != 32917U || h[HALVES - 1] != 65518U) return 4;

  for (seed = 11, i = 0; i < WORDS; i++) {
    w[i] = (long)next();
    wsum += (unsigned long)w[i];
    wxor ^= (unsigned long)w[i];
  }
  heapsort(w, WORDS);
  for (i = 0; i < WORDS; i++) {
    if (i > 0 && w[i - 1] > w[i]) return 11;
    wsum2 += (unsigned long)w[i];
    wxor2 ^= (unsigned long)w[i];
  }
  if (wsum2 != wsum || wxor2 != wxor) return 12;
  if (wsum != 527777692UL) return 13;
  if (w[0] != -2109733160L || w[WORDS / 2] != 103796555L || w[WORDS - 1] != 2136605845L) return 14;
  return 0;
}

int main(void) {
  int round, failed = 0;
  for (round = 0; round < ROUNDS && !failed; round++) failed = check();
  if (failed) {
    sci3_puts("sort FAIL ");
    sci3_putdec(failed);
    sci3_putchar('\n');
    return failed;
  }
  sci3_puts("sort ok\n");
  return 0;
}
