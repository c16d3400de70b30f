; Multiplication by shift and add: 200 x 123 = 24600 (6018h) as a 16-bit product.
;
; For each multiplier bit, lowest first: if it is 1, add the addend to the
; product; then shift the multiplier right and the addend left. The loop ends
; when no multiplier bits are left. AND and the shifts leave the flags alone,
; so "add zero" sets the zero flag from the accumulator.
;
; expect: halted after 1450 cycles, A = 60h, CF = 0, ZF = 1
; expect: memory 0067h = 60h 18h 64h 00h 00h

start:  lda zero        ; product = 0, addend = multiplicand, bits = multiplier
        sta product
        sta product + 1
        sta addend
        lda multiplicand
        sta addend + 1
        lda multiplier
        sta bits
loop:   lda bits
        add zero        ; zero flag: no multiplier bits left
        jz done
        and one         ; the lowest multiplier bit...
        add zero
        jz shift        ; ...is 0: nothing to add
        lda product + 1 ; product = product + addend, 16 bits
        add addend + 1
        sta product + 1
        lda product
        adc addend
        sta product
shift:  lda bits        ; next multiplier bit
        shr
        sta bits
        lda addend      ; addend = addend * 2, a 16-bit shift left:
        shl             ;   the high byte moves up one place,
        sta addend
        lda addend + 1  ;   takes bit 7 of the low byte into its bit 0,
        rol
        and one
        or addend
        sta addend
        lda addend + 1  ;   and the low byte moves up one place
        shl
        sta addend + 1
        jmp loop
done:   lda product     ; the high byte of the product
        hlt

multiplicand:   db 200
multiplier:     db 123
product:        dw 0
addend:         dw 0
bits:           db 0
one:            db 1
zero:           db 0
