/* Reads lines from SCI3 and sends each back upper-cased, until the line "q". A line ends at LF
 * or CR (an LF right after a CR ends nothing); characters past LINE in a line are dropped.
 * Returns 0. */
#include "sci3.h"

#define LINE 80

/* Reads one line into `line` without its end; its length. */
static int read_line(char* line) {
  static int last; /* the character before: an LF after a CR is that CR's */
  int n = 0, c;
  for (;;) {
    c = sci3_getchar();
    if (c == '\n' && last == '\r') {
      last = 0;
      continue;
    }
    last = c;
    if (c == '\r' || c == '\n') return n;
    if (n < LINE) line[n++] = (char)c;
  }
}

int main(void) {
  char line[LINE];
  int n, i;
  while ((n = read_line(line)) != 1 || line[0] != 'q') {
    for (i = 0; i < n; i++)
      sci3_putchar(line[i] >= 'a' && line[i] <= 'z' ? line[i] - 'a' + 'A' : line[i]);
    sci3_putchar('\n');
  }
  return 0;
}
