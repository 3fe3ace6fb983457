/* Polled console I/O on the H8/3664's SCI3, as the board's monitor leaves it set up (transmit and
 * receive enabled). Nothing here uses interrupts or a buffer: each call waits on the status bit.
 *
 *   sci3_putchar(c)       wait for TDRE, send c
 *   sci3_puts(s)          send the string s (no newline added)
 *   sci3_getchar()        wait for RDRF, the byte received (0..255); clears a receive error first
 *   sci3_puthex(v, n)     v as n upper-case hex digits (the low 4n bits)
 *   sci3_putdec(v)        v in decimal, with '-' when negative
 *   sci3_putudec(v)       v in decimal, unsigned
 */
#ifndef SCI3_H
#define SCI3_H

#define SCI3_SMR (*(volatile unsigned char*)0xFFA8)
#define SCI3_BRR (*(volatile unsigned char*)0xFFA9)
#define SCI3_SCR3 (*(volatile unsigned char*)0xFFAA)
#define SCI3_TDR (*(volatile unsigned char*)0xFFAB)
#define SCI3_SSR (*(volatile unsigned char*)0xFFAC)
#define SCI3_RDR (*(volatile unsigned char*)0xFFAD)

/* SSR bits */
#define SCI3_TDRE 0x80 /* TDR empty: the next byte may be written */
#define SCI3_RDRF 0x40 /* RDR full: a byte has arrived (reading RDR clears it) */
#define SCI3_OER 0x20  /* overrun */
#define SCI3_FER 0x10  /* framing error */
#define SCI3_PER 0x08  /* parity error */
#define SCI3_TEND 0x04 /* transmission ended */

void sci3_putchar(char c);
void sci3_puts(const char* s);
int sci3_getchar(void);
void sci3_puthex(unsigned long v, int digits);
void sci3_putdec(long v);
void sci3_putudec(unsigned long v);

#endif
