; Start-up code for C programs on the H8/3664 board (H8/300H, normal mode).
;
; The board starts a program at 0x1000 with SCI3 set up. _start, the first code at 0x1000 (the
; linker script puts section .start ahead of all other code), sets the stack to the top of RAM,
; copies the initialized data from its flash image to RAM, clears .bss, calls _main, and ends
; with main's return value in R0L and SLEEP: under `h8sim exec` that is the exit status, on the
; board the monitor stops with "Exception SLEEP". Symbols come from h83664.ld.

	.h8300hn
	.section .start,"x"
	.global	_start
_start:
	mov.l	#0xff80,er7		; the stack grows down from the top of RAM
	mov.l	#___data_load,er0
	mov.l	#___data_start,er1
	mov.l	#___data_end,er2
.Lcopy:
	cmp.l	er2,er1
	bhs	.Lcopied
	mov.b	@er0+,r3l
	mov.b	r3l,@er1
	adds	#1,er1
	bra	.Lcopy
.Lcopied:
	mov.l	#___bss_start,er1
	mov.l	#___bss_end,er2
	sub.b	r3l,r3l
.Lclear:
	cmp.l	er2,er1
	bhs	.Lcleared
	mov.b	r3l,@er1
	adds	#1,er1
	bra	.Lclear
.Lcleared:
	jsr	@_main			; int main(void): the value in R0, its low byte in R0L
	.global	_exit_sleep
_exit_sleep:
	sleep
	bra	_exit_sleep		; should anything wake the CPU, stop again
