; Multiplication by repeated addition: 13 x 11 as 13 added up eleven times.
;
; The loop ends when subtracting 1 from the count borrows (CF = 0), so the
; last flags are those of 0 - 1 = FFh.
;
; expect: halted after 770 cycles, A = 8Fh, CF = 0, ZF = 0
; expect: memory 0028h = 0Dh 0Bh 8Fh 00h

start:  lda zero        ; product = 0, count = multiplier, so that the
        sta product     ;   program can run again after Reset
        lda multiplier
        sta count
loop:   lda count
        sub one         ; count - 1; the carry is 0 if count was already 0
        jnc done
        sta count
        lda product     ; product = product + multiplicand
        add multiplicand
        sta product
        jmp loop
done:   lda product     ; 143 = 8Fh
        hlt

multiplicand:   db 13
multiplier:     db 11
product:        db 0
count:          db 0
one:            db 1
zero:           db 0
