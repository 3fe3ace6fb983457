; blink: Timer A paces an LED on port 5, bit 0, and a line of text on SCI3.
;
; Timer A counts the CPU clock divided by 8192 and overflows every 256 counts: every 131 ms at
; 16 MHz. The program polls the overflow flag IRRTA and clears it; every OVERFLOWS overflows
; (about half a second) it toggles the LED and prints '*' when the LED goes on, '.' when it goes
; off. After TOGGLES toggles it ends the line and stops with SLEEP, R0L = 0 (so `h8sim exec`
; exits with status 0). No interrupts: the monitor owns the vector table.

	.h8300hn

	.equ	TMA, 0xffa6		; Timer A mode: bits 2-0 = 000, clock / 8192
	.equ	IRR1, 0xfff6		; interrupt flags: IRRTA (bit 6) is set at each overflow
	.equ	PCR5, 0xffe8		; port 5 control: a 1 bit makes the pin an output
	.equ	PDR5, 0xffd8		; port 5 data
	.equ	SSR, 0xffac		; SCI3 status: TDRE (bit 7) when TDR may take a byte
	.equ	TDR, 0xffab		; SCI3 transmit data
	.equ	IRRTA, 6
	.equ	TDRE, 7
	.equ	LED, 0
	.equ	OVERFLOWS, 4
	.equ	TOGGLES, 10

	.section .start,"x"
	.global	_start
_start:
	mov.l	#0xff80,er7
	sub.b	r0l,r0l
	mov.b	r0l,@TMA:8		; clock / 8192
	mov.b	#1<<LED,r0l
	mov.b	r0l,@PCR5:8		; the LED's pin is an output (PCR5 is write-only)
	bclr	#LED,@PDR5:8		; and off
	bclr	#IRRTA,@IRR1:8		; forget an overflow from before
	mov.b	#TOGGLES,r4l
toggle:
	mov.b	#OVERFLOWS,r4h
wait:
	btst	#IRRTA,@IRR1:8
	beq	wait
	bclr	#IRRTA,@IRR1:8		; read as 1, written 0: cleared
	dec.b	r4h
	bne	wait
	bnot	#LED,@PDR5:8
	mov.b	#'.',r0l
	btst	#LED,@PDR5:8
	beq	show
	mov.b	#'*',r0l
show:
	bsr	putchar
	dec.b	r4l
	bne	toggle
	mov.b	#10,r0l			; '\n'
	bsr	putchar
	sub.b	r0l,r0l
stop:
	sleep
	bra	stop

; Sends R0L through SCI3 once TDR is free.
putchar:
	btst	#TDRE,@SSR:8
	beq	putchar
	mov.b	r0l,@TDR:8
	rts
