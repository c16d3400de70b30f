; A countdown loop: the accumulator counts down from 10 to 0, then the machine halts.
;
; SUB sets the zero flag when the result is 0, and JNZ loops until then.
;
; expect: halted after 170 cycles, A = 00h, CF = 1, ZF = 1

start:  lda ten
loop:   sub one         ; A = A - 1
        jnz loop        ; again until A is 0
        hlt

ten:    db 10
one:    db 1
