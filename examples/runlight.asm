; A running light: one lit bit rotates through the accumulator lamps, for ever.
;
; The accumulator takes 01h in cycle 8, 02h in cycle 12 and then moves on
; one place every 12 cycles (a ROL and a JMP); from 80h it wraps to 01h.
; Slow the clock with the speed slider to watch it.
;
; expect: after 120 cycles still running, A = 00h 01h 02h 04h 08h 10h 20h 40h 80h 01h 02h 04h

        lda one
loop:   rol             ; bit 7 comes round into bit 0
        jmp loop

one:    db 1
