; The run-time routines gcc -mh -mn calls for what the H8/300H has no single instruction for:
; 32-bit multiply, divide and modulo (signed and unsigned), and the memcpy/memset it uses for
; structure copies and zeroed arrays.
;
; Calling convention (as gcc 3.4 -mh -mn calls them): the operands in ER0 and ER1, the result in
; ER0; ER0-ER3 may change, ER4-ER6 are kept. memcpy(dst, src, n) and memset(dst, c, n) take
; R0, R1, R2 (pointers and size_t are 16 bits in normal mode) and give back dst in R0.
; Division by zero gives no meaningful result (C leaves it undefined); INT32_MIN / -1 gives
; INT32_MIN.

	.h8300hn
	.section .text

; ER0 = ER0 * ER1 (the low 32 bits, the same signed or unsigned): with a = aH:aL, b = bH:bL,
; a * b = aL * bL + ((aH * bL + aL * bH) << 16) modulo 2^32.
	.global	___mulsi3
___mulsi3:
	mov.w	e0,r2
	mulxu.w	r1,er2			; R2 = low word of aH * bL
	mov.w	e1,r3
	mulxu.w	r0,er3			; R3 = low word of bH * aL
	add.w	r3,r2
	mulxu.w	r1,er0			; ER0 = aL * bL
	add.w	r2,e0
	rts

; ER0 = ER0 / ER1 unsigned; also the entry of the unsigned division that the other three share:
; quotient in ER0, remainder in ER2. R3H is left alone (the signed entries keep signs there).
	.global	___udivsi3
___udivsi3:
.Ludivmod:
	mov.w	e1,r2
	bne	.Lwide
	; A 16-bit divisor: two DIVXU.W, the first remainder leading the second dividend.
	mov.w	e0,r2
	extu.l	er2
	divxu.w	r1,er2			; R2 = nH / d, E2 = nH % d
	mov.w	r2,e3
	mov.w	r0,r2
	divxu.w	r1,er2			; R2 = (E2:nL) / d, E2 = the remainder
	mov.w	e3,e0
	mov.w	r2,r0
	mov.w	e2,r2
	extu.l	er2
	rts
.Lwide:
	; A divisor of 17 bits or more: the quotient fits 16 bits and nH < d, so 16 steps of
	; shift-and-subtract over nL finish the job. ER0 brings the dividend bits in from the top
	; and collects the quotient bits at the bottom.
	mov.w	e0,r2
	extu.l	er2			; ER2 = remainder so far = nH
	mov.w	r0,e0
	sub.w	r0,r0			; ER0 = nL << 16
	mov.b	#16,r3l
.Lstep:
	shll.l	er0
	rotxl.l	er2			; no carry: the remainder never exceeds the bits of n taken
	cmp.l	er1,er2
	blo	.Lnext
	sub.l	er1,er2
	adds	#1,er0
.Lnext:
	dec.b	r3l
	bne	.Lstep
	rts

; ER0 = ER0 % ER1 unsigned.
	.global	___umodsi3
___umodsi3:
	bsr	.Ludivmod
	mov.l	er2,er0
	rts

; ER0 = ER0 / ER1 signed, rounded toward zero: the quotient of the magnitudes, negated when
; the signs differ (R3H = 0xFF then).
	.global	___divsi3
___divsi3:
	sub.b	r3h,r3h
	mov.l	er0,er0
	bpl	.Ldiv1
	neg.l	er0
	not.b	r3h
.Ldiv1:
	mov.l	er1,er1
	bpl	.Ldiv2
	neg.l	er1
	not.b	r3h
.Ldiv2:
	bsr	.Ludivmod
	mov.b	r3h,r3h
	beq	.Ldiv3
	neg.l	er0
.Ldiv3:
	rts

; ER0 = ER0 % ER1 signed: the remainder of the magnitudes with the sign of the dividend.
	.global	___modsi3
___modsi3:
	sub.b	r3h,r3h
	mov.l	er0,er0
	bpl	.Lmod1
	neg.l	er0
	not.b	r3h
.Lmod1:
	mov.l	er1,er1
	bpl	.Lmod2
	neg.l	er1
.Lmod2:
	bsr	.Ludivmod
	mov.l	er2,er0
	mov.b	r3h,r3h
	beq	.Lmod3
	neg.l	er0
.Lmod3:
	rts

; void *memcpy(void *dst, const void *src, size_t n)
	.global	_memcpy
_memcpy:
	mov.w	r2,e2			; E2 = bytes left, R2L = the byte in passing
	beq	.Lcopied
	mov.w	r0,r3			; R3 = where the next byte goes
.Lcopy:
	mov.b	@er1+,r2l
	mov.b	r2l,@er3
	adds	#1,er3
	dec.w	#1,e2
	bne	.Lcopy
.Lcopied:
	rts

; void *memset(void *dst, int c, size_t n)
	.global	_memset
_memset:
	mov.w	r2,e2
	beq	.Lset
	mov.w	r0,r3
.Lfill:
	mov.b	r1l,@er3
	adds	#1,er3
	dec.w	#1,e2
	bne	.Lfill
.Lset:
	rts
