; Two numbers from memory added and the sum stored: the smallest useful program.
;
; expect: halted after 26 cycles, A = 8Dh, CF = 0, ZF = 0
; expect: memory 0020h = 5Ah 33h 8Dh

        lda first       ; A = 5Ah
        add second      ; A = 5Ah + 33h = 8Dh; no carry, not zero
        sta sum         ; the sum goes to memory
        hlt

        org 20h
first:  db 5Ah
second: db 33h
sum:    db 0
