/* hello: the program of the first debugging session (docs/tutorial.md).
 *
 * It greets, counts from 1 to COUNT, printing each line through show(), the function to set a
 * breakpoint on, and then answers keys: each key typed is named back; "q" ends the program
 * (main returns, and the start-up code stops the board with SLEEP). */
#include "sci3.h"

#define COUNT 5

unsigned long counter; /* how many lines show() has printed */
char message[16];      /* the line show() prints, built here first */

/* Copies `text` to `to`; where the copy ends. */
static char* copy(char* to, const char* text) {
  while (*text) *to++ = *text++;
  return to;
}

/* Builds "count D\n" in message, D the last digit of n, and prints it. */
void show(int n) {
  char* end = copy(message, "count ");
  *end++ = (char)('0' + n % 10);
  *end++ = '\n';
  *end = '\0';
  sci3_puts(message);
  counter++;
}

/* Names the key back (a control key by its code alone); 0 when it ends the program. */
int answer(int key) {
  if (key >= ' ' && key <= '~') {
    sci3_putchar((char)key);
    sci3_puts(" is ");
  }
  sci3_puts("0x");
  sci3_puthex((unsigned long)key, 2);
  sci3_putchar('\n');
  return key != 'q';
}

int main(void) {
  int i;
  sci3_puts("Hello from the H8/3664!\n");
  for (i = 1; i <= COUNT; i++) show(i);
  do {
    sci3_puts("press a key (q quits): ");
  } while (answer(sci3_getchar()));
  sci3_puts("bye\n");
  return 0;
}
